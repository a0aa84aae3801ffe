#!/usr/bin/env bash
# Builds the native Windows programs with mingw-w64 into build-windows/ and, with --test, runs
# their tests under wine in a throwaway wine prefix.
#   scripts/build-windows.sh [--test] [--jobs N] [target...]
# With targets named, --test runs only the tests of those names (each test program is one test
# named after its target).
set -euo pipefail
cd "$(dirname "$0")/.."

run_tests=0
jobs=1
targets=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --test) run_tests=1 ;;
    --jobs) jobs="$2"; shift ;;
    *) targets+=("$1") ;;
  esac
  shift
done

scripts/setup-windows.sh

build=build-windows
# libxml2 and uriparser for Windows, built once from Debian's source packages.
JOBS=$jobs scripts/build-windows-deps.sh "$build/deps"
if [[ ! -f $build/build.ninja ]]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPARVEX_BUILD_QT=OFF -DPARVEX_BUILD_BENCH=ON \
    -DPARVEX_WINDOWS_DEPS="$PWD/$build/deps/prefix"
fi
target_args=()
for t in "${targets[@]}"; do target_args+=(--target "$t"); done
nice -n 19 cmake --build "$build" -j"$jobs" "${target_args[@]}"

if [[ $run_tests -eq 1 ]]; then
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/parvex-wine-XXXXXX")
  export WINEPREFIX WINEDEBUG=-all
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
  # One wine prefix for the whole run: ctest runs one test at a time in it.
  select=()
  if [[ ${#targets[@]} -gt 0 ]]; then
    select=(-R "^($(IFS='|'; echo "${targets[*]}"))\$")
  fi
  ctest --test-dir "$build" --output-on-failure -j1 "${select[@]}"
fi
