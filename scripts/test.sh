#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs every test.
#   scripts/test.sh                      plain build in build/
#   scripts/test.sh --sanitize address   ASan + UBSan build in build-address/
#   scripts/test.sh --sanitize thread    TSan build in build-thread/
set -euo pipefail
cd "$(dirname "$0")/.."

sanitize=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --sanitize) sanitize="$2"; shift 2 ;;
    *) echo "usage: scripts/test.sh [--sanitize address|thread]" >&2; exit 2 ;;
  esac
done

scripts/setup.sh

builddir=build${sanitize:+-$sanitize}
jobs=${PARVEX_JOBS:-$(nproc)}
cmake -S . -B "$builddir" -G Ninja -DPARVEX_SANITIZE="$sanitize" >/dev/null
cmake --build "$builddir" -j "$jobs"
ctest --test-dir "$builddir" --output-on-failure -j "$jobs"
