#!/usr/bin/env bash
# Builds the Windows zip from a Windows build (scripts/build-windows.sh):
#
#   scripts/package-windows.sh [--build-dir DIR] [--output DIR]
#
# The archive parvex-<version>-windows-x64.zip holds the folder Kestrum, laid out as the
# installation root C:\Kestrum: the programs and DLLs in its program folder BIN (stripped), a
# short README.txt and the demo's configuration under examples\. Prints the archive's path.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

build=build-windows
output=$repo
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --output) output=${2:?--output needs a folder}; shift 2 ;;
    -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package-windows: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
say() { echo "package-windows: $*" >&2; }

# The build's file, then the name it has in the program folder.
files=(
  scanner/parvex_sc.exe scanner/parve_ex.dll configui/parvex_cf.dll
  tools/cf_host/parvex_cf_host.exe tools/dm/kestrum_dm.exe tools/monitor/kestrum_monitor.exe
  tools/cfgc/kestrum_cfgc.exe
)
for f in "${files[@]}"; do
  [[ -f "$build/$f" ]] || { say "$build/$f is missing: run scripts/build-windows.sh first"; exit 1; }
done
command -v zip >/dev/null || { say "needs zip (apt-get install zip)"; exit 1; }
strip=x86_64-w64-mingw32-strip
command -v "$strip" >/dev/null || { say "needs $strip (scripts/setup-windows.sh)"; exit 1; }

version=$(sed -n 's/^project(parvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$(mktemp -d "${TMPDIR:-/tmp}/parvex-zip-XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/Kestrum
mkdir -p "$root/BIN" "$root/examples/PARVEX1"
for f in "${files[@]}"; do
  cp "$build/$f" "$root/BIN/"
  "$strip" "$root/BIN/$(basename "$f")"
done
# Windows text files: CRLF line ends.
sed 's/$/\r/' packaging/windows-README.txt >"$root/README.txt"
sed 's/$/\r/' demo/system.json >"$root/examples/system.json"
for f in config.xml ai.xml; do sed 's/$/\r/' "demo/PARVEX1/$f" >"$root/examples/PARVEX1/$f"; done

mkdir -p "$output"
archive=$(cd "$output" && pwd)/parvex-$version-windows-x64.zip
rm -f "$archive"
(cd "$stage" && zip -q -X -r "$archive" Kestrum)
echo "$archive"
