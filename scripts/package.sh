#!/usr/bin/env bash
# Builds the Debian package of the Linux programs from a staged `cmake --install`:
#
#   scripts/package.sh [--build-dir DIR] [--output DIR] [--jobs N]
#
# The package "parvex" holds the programs and modules in the installation root's program folder
# /opt/Kestrum/BIN, their manual pages under /usr/share/man and the copyright, the changelog and
# the demo's configuration under /usr/share/doc/parvex. Its dependencies are Debian's packages
# of the libraries the programs and modules link (dpkg-shlibdeps). Nothing in it is
# user-editable configuration, and it has no maintainer scripts: installing creates only its
# files, removing takes them all away. lintian checks the package; an error fails the script.
# Prints the package's path last.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

build=build
output=$repo
jobs=2
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --output) output=${2:?--output needs a folder}; shift 2 ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "package: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
say() { echo "package: $*" >&2; }
umask 022

scripts/setup.sh
package=parvex
version=$(sed -n 's/^project(parvex VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(sed -n '1s/^parvex (\([^)]*\)).*/\1/p' packaging/changelog)
if [[ "$version" != "$changelog_version" ]]; then
  say "the project's version $version is not the changelog's $changelog_version"
  exit 1
fi
arch=$(dpkg --print-architecture)

say "building"
cmake -S . -B "$build" -G Ninja -DCMAKE_INSTALL_PREFIX=/opt/Kestrum >/dev/null
cmake --build "$build" -j"$jobs" --target parvex_sc counter_ex parvex_cf kestrum_dm counter_sim \
  kestrum_monitor kestrum_cfgc parvex_cf_host package_docs >"$build/package-build.log" 2>&1 || {
  tail -n 30 "$build/package-build.log" >&2
  say "build failed (whole log: $build/package-build.log)"
  exit 1
}

stage=$(mktemp -d "${TMPDIR:-/tmp}/parvex-package-XXXXXX")
trap 'rm -rf "$stage"' EXIT
root=$stage/root
DESTDIR=$root cmake --install "$build" --strip >/dev/null
# Modules are loaded, never run: no execute bit.
find "$root" -name '*.so' -exec chmod 0644 {} +

# Dependencies: the Debian packages of the libraries every program and module links.
mkdir -p "$stage/debian" "$root/DEBIAN"
printf 'Source: %s\n\nPackage: %s\nArchitecture: any\n' "$package" "$package" \
  >"$stage/debian/control"
mapfile -t elf_files < <(find "$root" -type f -exec sh -c \
  'head -c 4 "$1" | grep -q "^.ELF" && echo "$1"' _ {} \;)
depends=$(cd "$stage" && dpkg-shlibdeps -O "${elf_files[@]/#/-e}" 2>"$stage/shlibdeps.log" |
  sed -n 's/^shlibs:Depends=//p') || { cat "$stage/shlibdeps.log" >&2; exit 1; }

cat >"$root/DEBIAN/control" <<CONTROL
Package: $package
Version: $version
Architecture: $arch
Maintainer: parvex maintainers <maintainers@users.noreply.c-seed-a85984de.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Section: misc
Priority: optional
Description: particle counter driver for the Kestrum SCADA
 The scanner parvex_sc connects a particle counter on a serial port to the
 SCADA: it parses the counter's reports and publishes channel values, states,
 alarms and error messages in the SCADA's shared memory. The configuration
 module libparvex_cf.so shows the counter's port and channel dialogs and
 prints a device's configuration.
 .
 The package also holds a driver-manager stand-in, a counter simulator, a
 monitor, a configuration compiler and a host for the configuration module,
 all in the installation root's program folder /opt/Kestrum/BIN.
CONTROL
(cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z |
  xargs -0 md5sum >DEBIAN/md5sums)

mkdir -p "$output"
deb=$output/${package}_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
say "lintian:"
lintian --fail-on error --display-info "$deb" >&2 || { say "lintian found errors"; exit 1; }
echo "$deb"
