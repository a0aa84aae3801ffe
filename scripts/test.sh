#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs every test.
#   scripts/test.sh                      plain build in build/
#   scripts/test.sh --sanitize address   ASan + UBSan build in build-address/
#   scripts/test.sh --sanitize thread    TSan build in build-thread/
# Options for a subset: `--target NAME` (repeatable) builds only those targets, and whatever
# follows `--` is handed to ctest, e.g.
#   scripts/test.sh --sanitize thread --target scanner_tests -- -L scanner_tests
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
targets=()
ctest_args=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --sanitize) sanitize="$2"; shift 2 ;;
    --target) targets+=(--target "$2"); shift 2 ;;
    --) shift; ctest_args=("$@"); break ;;
    *) echo "usage: scripts/test.sh [--sanitize address|thread] [--target NAME]... [-- CTEST-ARGS]" >&2
       exit 2 ;;
  esac
done

scripts/setup.sh

builddir=build${sanitize:+-$sanitize}
jobs=${PARVEX_JOBS:-$(nproc)}
cmake -S . -B "$builddir" -G Ninja -DPARVEX_SANITIZE="$sanitize" >/dev/null
cmake --build "$builddir" -j "$jobs" "${targets[@]}"
ctest --test-dir "$builddir" --output-on-failure -j "$jobs" "${ctest_args[@]}"
