#!/usr/bin/env bash
# Builds the Debian package, installs it into a fresh file-system root (dpkg --root, nothing on
# this machine changes), runs the demo from the installed files only, prints a sample device
# with the installed module host and module, removes the package and checks that nothing of it
# is left:
#
#   scripts/install-test.sh [--build-dir DIR] [--jobs N] [--for SECONDS] [--keep]
#
# Prints the package's file list, the installed demo's monitor view and what is left after
# removal (nothing, or the test fails). --keep keeps the root folder and says where it is.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build
jobs=2
seconds=15
keep=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --jobs) jobs=${2:?--jobs needs a number}; shift 2 ;;
    --for) seconds=${2:?--for needs a number of seconds}; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "install-test: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
say() { echo "install-test: $*" >&2; }
fail() { say "FAILED: $*"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/parvex-install-XXXXXX")
if [[ $keep -eq 1 ]]; then
  trap 'say "kept $work"' EXIT
else
  trap 'rm -rf "$work"' EXIT
fi

deb=$(scripts/package.sh --build-dir "$build" --jobs "$jobs" --output "$work")

# A root with an empty package database. The libraries the package depends on are this
# machine's, not the root's: dependencies are not checked there.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
dpkg --root="$root" --force-depends --force-not-root --log=/dev/null -i "$deb" >/dev/null
say "installed files (dpkg -L parvex):"
dpkg --root="$root" -L parvex >&2

# The build tree must play no part: the demo runs with an empty build folder of its own.
say "the demo from the installed files, $seconds s:"
view=$(scripts/demo.sh --installed "$root" --for "$seconds" --build-dir "$work/no-build" 2>"$work/demo.err") ||
  { cat "$work/demo.err" >&2; fail "the installed demo failed"; }
echo "$view"
[[ ! -e "$work/no-build" ]] || fail "the installed demo used a build folder"
for want in S1_03_05 S2_FLOW VOLUME; do
  grep -q "$want" <<<"$view" || fail "the monitor shows no channel $want"
done
grep -Eq 'S1_RH +[0-9]' <<<"$view" || fail "the monitor shows no value for S1_RH"

# The module host loads the configuration module installed beside it, not the built one.
tools/cf_host/make_sample_folder.py "$work/DEV1" >/dev/null
host_args=("$work/DEV1" print --text "$work/DEV1.txt")
LD_DEBUG=files QT_QPA_PLATFORM=offscreen "$root/opt/Kestrum/BIN/parvex_cf_host" \
  "${host_args[@]}" 2>"$work/host.err" >/dev/null || { cat "$work/host.err" >&2; fail "the installed host failed"; }
grep -q "file=$root/opt/Kestrum/BIN/libparvex_cf.so " "$work/host.err" ||
  fail "the installed host did not load the installed configuration module"
grep -q 'DEVICE NAME' "$work/DEV1.txt" || fail "the installed host printed no configuration"
say "the installed host printed the sample device with the installed module"

dpkg --root="$root" --force-not-root --log=/dev/null --purge parvex >/dev/null
left=$(cd "$root" && find . -mindepth 1 ! -path ./var ! -path ./var/lib ! -path './var/lib/dpkg' \
  ! -path './var/lib/dpkg/*')
if [[ -n "$left" ]]; then
  say "left after removal:"
  echo "$left" >&2
  fail "removal left files behind"
fi
say "left after removal: nothing"
say "passed"
