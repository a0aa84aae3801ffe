#!/usr/bin/env bash
# The Windows zip as a plant installs it: builds the zip from build-windows/
# (scripts/package-windows.sh), unpacks it into a fresh wine prefix's C:\ and runs the
# scanner's end-to-end check from the unpacked programs only (scripts/windows-demo.sh --zip),
# fed by the Linux counter simulator of build/.
#   scripts/install-test-windows.sh [--build-dir DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

out=$(mktemp -d "${TMPDIR:-/tmp}/parvex-zip-test-XXXXXX")
trap 'rm -rf "$out"' EXIT
archive=$(scripts/package-windows.sh --output "$out" "$@")
scripts/windows-demo.sh --check --for 5 --zip "$archive"
