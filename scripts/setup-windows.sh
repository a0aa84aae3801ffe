#!/usr/bin/env bash
# Installs what the Windows build needs beside scripts/setup.sh's packages: Debian's mingw-w64
# cross compiler (posix thread model), wine to run the tests, GoogleTest's sources, python3 for
# the serial bridge that gives programs under wine COM ports on pseudo-terminals, and the tools
# that fetch and build the libraries scripts/build-windows-deps.sh makes from Debian's source
# packages, and Xvfb (with xauth, for xvfb-run) for the programs that show windows. Adds a deb-src entry for the machine's Debian release when apt has none.
# Runs `apt-get update` only when something is missing.
set -euo pipefail

packages=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 googletest cmake ninja-build
          zip dpkg-dev xz-utils python3 xvfb xauth)

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  sudo=sudo
fi
need_root() {
  [[ -z "$sudo" ]] || command -v sudo >/dev/null ||
    { echo "setup-windows: need root (or sudo) to $1" >&2; exit 1; }
}

# Source entries: the same mirrors, suites and components as the machine's Debian binary
# entries, with Types deb-src. Debian 12 keeps them in deb822 form in debian.sources; older
# machines have one-line entries in sources.list.
src_list=/etc/apt/sources.list.d/parvex-debian-src
has_deb_src() {
  grep -rqsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list \
    /etc/apt/sources.list.d/
}
update_needed=0
if ! has_deb_src; then
  need_root "add a deb-src entry"
  if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
    # Each stanza whose Types has deb, with Types replaced by deb-src.
    entries=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
                   /(^|\n)Types:([^\n]*[ \t])?deb([ \t\n]|$)/ { sub(/Types:[^\n]*/, "Types: deb-src"); print }' \
                 /etc/apt/sources.list.d/debian.sources)
    file=$src_list.sources
  else
    entries=$(grep -sE '^[[:space:]]*deb[[:space:]].*debian' /etc/apt/sources.list |
                sed -E 's/^([[:space:]]*)deb([[:space:]])/\1deb-src\2/')
    file=$src_list.list
  fi
  [[ -n "$entries" ]] || { echo "setup-windows: no Debian deb entries to copy for deb-src" >&2; exit 1; }
  echo "setup-windows: adding $file"
  printf '%s\n' "$entries" | $sudo tee "$file" >/dev/null
  update_needed=1
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 && $update_needed -eq 0 ]] && exit 0

need_root "install: ${missing[*]}"
$sudo apt-get update -q
[[ ${#missing[@]} -eq 0 ]] && exit 0
echo "setup-windows: installing ${missing[*]}"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
