#!/usr/bin/env bash
# Checks the layer rules of docs/architecture.md and the source format over the C/C++ files git
# tracks:
#   - a library folder includes only its own headers and those of the layers below it;
#   - only platform/ includes operating-system headers (tools, tests, fuzz targets, benchmarks
#     and the demo may, where they play another process); no folder but platform/ includes
#     <windows.h> but the configuration module's Windows host tool and its tests (their *_win32
#     files), which then include no platform/ header;
#   - only configui/, its host tool and its tests see Qt; only config/ (its tests and fuzz
#     targets) sees libxml2;
#   - every file is as clang-format (the repository's .clang-format) would write it.
# Prints one line per finding and exits 1 when there is any, 0 otherwise.
#   scripts/check-architecture.sh            both checks
#   scripts/check-architecture.sh includes   only the include rules
#   scripts/check-architecture.sh format     only the format check
set -euo pipefail
cd "$(dirname "$0")/.."

what=${1:-all}
case "$what" in
  all | includes | format) ;;
  *) echo "usage: scripts/check-architecture.sh [includes|format]" >&2; exit 2 ;;
esac

mapfile -t sources < <(git ls-files -- '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
failed=0

# The project folders each library folder may include from (itself first).
declare -A may_include=(
  [records]="records"
  [platform]="platform records"
  [runtime]="runtime platform records"
  [config]="config runtime platform records"
  [scanner]="scanner config runtime platform records"
  [counter_ex]="counter_ex config runtime platform records"
  [configui]="configui config runtime platform records"
)
project_folders=" records platform runtime config scanner counter_ex configui tools tests fuzz bench demo "

# C standard library headers: not operating-system headers.
c_standard=" assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h "
c_standard+="locale.h math.h setjmp.h signal.h stdalign.h stdarg.h stdatomic.h stdbool.h "
c_standard+="stddef.h stdint.h stdio.h stdlib.h stdnoreturn.h string.h tgmath.h threads.h time.h "
c_standard+="uchar.h wchar.h wctype.h "

# Sets `kind` to the kind of the header `name` of an angle-bracket include: std, qt, xml,
# library or os.
header_kind() {
  local name=$1
  case "$name" in
    Q* | Qt*/*) kind=qt ;;
    libxml/*) kind=xml ;;
    uriparser/* | nlohmann/* | CLI/* | gtest/* | gmock/* | benchmark/* | curses.h) kind=library ;;
    */* | *.h | *.hpp)
      if [[ "$c_standard" == *" $name "* ]]; then kind=std; else kind=os; fi ;;
    *) kind=std ;;
  esac
}

report() {
  echo "$1: $2"
  failed=1
}

# The configuration module's Windows user interface (dialogs, printing on a device context, its
# host and their tests) is written in Win32's own toolkit, as the Linux one is in Qt: such files
# are named *_win32.cc / *_win32.h / *_win32_test.cc and may include <windows.h>.
is_windows_toolkit_file() {
  case "$1" in
    tools/cf_host/*_win32.cc | tools/cf_host/*_win32.h | tests/configui/*_win32_test.cc | \
      tests/configui/*_win32.h) return 0 ;;
  esac
  return 1
}

check_includes() {
  local file folder line name kind target allowed
  # One pass over every include line: "file:#include ...".
  while IFS= read -r line; do
    file=${line%%:*}
    line=${line#*:}
    folder=${file%%/*}
    [[ "$folder" == "$file" ]] && continue
    if [[ "$line" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<([^>]+)\> ]]; then
      name=${BASH_REMATCH[1]}
      header_kind "$name"
      case "$kind" in
        os)
          if is_windows_toolkit_file "$file" && [[ "${name,,}" == windows.h ||
                                                   "${name,,}" == commctrl.h ||
                                                   "${name,,}" == commdlg.h ]]; then
            :  # the Windows host tool's windows and the tests that drive the module's dialogs
          elif [[ -n "${may_include[$folder]:-}" && "$folder" != platform ]]; then
            report "$file" "operating-system header <$name> outside platform/"
          elif [[ "${name,,}" == windows.h && "$folder" != platform ]]; then
            # Not even tools and tests: <windows.h> renames functions of platform/'s headers.
            report "$file" "<$name> outside platform/"
          fi ;;
        qt)
          if [[ "$folder" != configui && "$file" != tools/cf_host/* &&
                "$file" != tests/configui/* ]]; then
            report "$file" "Qt header <$name> outside configui/ and its host tool"
          fi ;;
        xml)
          if [[ "$folder" != config && "$file" != tests/config/* && "$file" != fuzz/* ]]; then
            report "$file" "XML library header <$name> outside config/"
          fi ;;
      esac
    elif [[ "$line" =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]]; then
      name=${BASH_REMATCH[1]}
      if is_windows_toolkit_file "$file" && [[ "$name" == platform/* ]]; then
        # <windows.h> renames functions that platform/'s headers declare.
        report "$file" "\"$name\" in a file that includes <windows.h>"
      fi
      target=${name%%/*}
      allowed=${may_include[$folder]:-}
      # Only a library folder is bound; a path that does not start with a project folder is
      # the folder's own (a header next to the file).
      [[ -z "$allowed" || "$target" == "$name" ]] && continue
      [[ "$project_folders" != *" $target "* ]] && continue
      if [[ " $allowed " != *" $target "* ]]; then
        report "$file" "$folder/ may not include \"$name\" (may include: $allowed)"
      fi
    fi
  done < <(grep -HE '^[[:space:]]*#[[:space:]]*include' "${sources[@]}")
}

check_format() {
  local out
  if ! out=$(clang-format --dry-run -Werror "${sources[@]}" 2>&1); then
    grep -o '^[^:]*:[0-9]*:[0-9]*: error: code should be clang-formatted' <<<"$out" |
      sed 's/: error: code should be clang-formatted/: not clang-formatted/' || true
    failed=1
  fi
}

[[ "$what" != format ]] && check_includes
[[ "$what" != includes ]] && check_format
if [[ $failed -ne 0 ]]; then
  echo "check-architecture: failed" >&2
  exit 1
fi
echo "check-architecture: passed"
