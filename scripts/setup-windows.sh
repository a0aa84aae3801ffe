#!/usr/bin/env bash
# Installs what the Windows build needs beside scripts/setup.sh's packages: Debian's mingw-w64
# cross compiler (posix thread model), wine to run the tests, GoogleTest's sources, and python3
# for the serial bridge that gives programs under wine COM ports on pseudo-terminals.
# Runs `apt-get update` only when something is missing.
set -euo pipefail

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest cmake ninja-build
          python3)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "setup-windows: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "setup-windows: installing ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
