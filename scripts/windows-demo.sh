#!/usr/bin/env bash
# The scanner for Windows on a simulated counter, end to end, under wine:
#
#   scripts/windows-demo.sh [--for SECONDS] [--keep] [--no-build] [--check] [--scanner FILE]
#                           [--linux-build DIR] [--zip FILE]
#
# Linux side (build/): counter_sim publishes its pseudo-terminal as $KESTRUM_RUNDIR/dev/DEMO1;
#   kestrum_cfgc compiles demo/PARVEX1 with the port COM40 (the compiled files hold the same
#   bytes on both platforms).
# Windows side (build-windows/), all in one throwaway wine prefix whose wineserver lives for the
#   whole run (the shared areas exist only while it does): $WINEPREFIX/dosdevices/com40 links
#   to the simulator's alias; kestrum_dm.exe builds the instance of demo/system.json (port COM40)
#   and starts parvex_sc.exe for device 1; after SECONDS (default 15) kestrum_area_dump.exe shows
#   the device record and the channel table dm_P1 with the scanned values, and
#   kestrum_monitor.exe --once the device as the operator sees it; then the stand-in
#   stops the scanner (31) and the simulator stops.
# --no-build uses the programs as they are; --check fails (exit 1) unless the monitor shows
# the scanner attached and ready, no error and scanned values, and the scanner stops cleanly
# (the end-to-end test of the Windows programs); --scanner names another parvex_sc.exe,
# --linux-build another Linux build folder (default build/); --zip unpacks the Windows zip
# (scripts/package-windows.sh) into the prefix's C:\ and runs the programs of C:\Kestrum\BIN
# instead of build-windows/ (the install test of the zip; implies --no-build).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

seconds=15
keep=0
build=1
check=0
scanner=$repo/build-windows/scanner/parvex_sc.exe
linux=$repo/build
zip=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --for) seconds=${2:?--for needs a number of seconds}; shift 2 ;;
    --keep) keep=1; shift ;;
    --no-build) build=0; shift ;;
    --check) check=1; shift ;;
    --scanner) scanner=${2:?--scanner needs a file}; shift 2 ;;
    --linux-build) linux=${2:?--linux-build needs a folder}; shift 2 ;;
    --zip) zip=$(realpath "${2:?--zip needs a file}"); build=0; shift 2 ;;
    -h|--help) sed -n '2,23p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "windows-demo: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
say() { echo "windows-demo: $*" >&2; }

if [[ $build -eq 1 ]]; then
  say "building (this takes a while the first time)"
  cmake -S . -B "$linux" -G Ninja -DPARVEX_BUILD_QT=OFF >/dev/null
  nice -n 19 cmake --build "$linux" -j1 --target counter_sim kestrum_cfgc parvex_sc >/dev/null
  scripts/build-windows.sh kestrum_dm kestrum_area_dump kestrum_monitor parvex_sc counter_ex \
    >/dev/null
fi
win=$repo/build-windows/tools/dm
monitor=$repo/build-windows/tools/monitor/kestrum_monitor.exe
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

work=$(mktemp -d "${TMPDIR:-/tmp}/parvex-windemo-XXXXXX")
export WINEPREFIX=$work/prefix WINEDEBUG=-all
export KESTRUM_RUNDIR=$work/run
mkdir -p "$WINEPREFIX" "$KESTRUM_RUNDIR" "$work/config/PARVEX1" "$work/saved"
# The scanner's folders, as Windows paths on drive Z: (the Linux root under wine).
export KSM_CURRENT_CONFIG="Z:$work/config" KSM_SAVED_VALUES="Z:$work/saved"
KSM_BIN="Z:$(dirname "$scanner")"
scanner_name="Z:$scanner"
if [[ -n "$zip" ]]; then
  # The installed programs, and nothing of the build: the zip's program folder.
  win=$WINEPREFIX/drive_c/Kestrum/BIN
  monitor=$win/kestrum_monitor.exe
  KSM_BIN='C:\Kestrum\BIN'
  scanner_name='C:\Kestrum\BIN\parvex_sc.exe'
fi
export KSM_BIN

sim_pid=""
dm_pid=""
quit_sent=0
cleanup() {
  set +e
  if [[ -n "$dm_pid" ]]; then
    # End of input alone does not stop the stand-in: "quit" does (31 to the scanner first).
    [[ $quit_sent -eq 1 ]] || echo quit >&3
    exec 3>&-
    wait "$dm_pid"
  fi
  # The wineserver goes before the simulator: it holds the pseudo-terminal's slave as its
  # controlling terminal, and the hang-up would make it dump its objects.
  "$wineserver" -k 2>/dev/null
  if [[ -n "$sim_pid" ]]; then kill -TERM "$sim_pid" 2>/dev/null; wait "$sim_pid"; fi
  if [[ -s "$work/dm.log" ]]; then
    say "driver manager said:"
    sed 's/^/  /' "$work/dm.log" >&2
  fi
  if [[ $keep -eq 1 ]]; then say "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The device's configuration, on COM40, compiled on the Linux side.
sed 's/<PortName>DEMO1</<PortName>COM40</' demo/PARVEX1/config.xml >"$work/config/PARVEX1/config.xml"
cp demo/PARVEX1/ai.xml "$work/config/PARVEX1/"
# The counter's extension module of the Linux build (built beside its scanner) knows its
# elements.
KSM_BIN=$linux/scanner "$linux/tools/cfgc/kestrum_cfgc" compile "$work/config/PARVEX1" \
  --channels 22 >/dev/null
sed 's/"DEMO1"/"COM40"/' demo/system.json >"$work/system.json"

"$linux/tools/counter_sim/counter_sim" --port DEMO1 --interval 1000 --ports 1,2 --seed 7 \
  --period 40 --no-stdin >"$work/counter_sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [[ -e "$KESTRUM_RUNDIR/dev/DEMO1" ]] && break; sleep 0.1; done
[[ -e "$KESTRUM_RUNDIR/dev/DEMO1" ]] || { say "the simulator published no port"; exit 1; }

# One wineserver for the whole run: the first program makes the prefix, "-p" keeps the server.
"$wineserver" -p >"$work/wineserver.log" 2>&1
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true
ln -sfn "$KESTRUM_RUNDIR/dev/DEMO1" "$WINEPREFIX/dosdevices/com40"
if [[ -n "$zip" ]]; then
  python3 -m zipfile -e "$zip" "$WINEPREFIX/drive_c/"
  say "unpacked $(basename "$zip") into C:\\Kestrum"
fi

mkfifo "$work/dm.in"
"$wine" "$win/kestrum_dm.exe" --system "Z:$work/system.json" --scanner "$scanner_name" \
  <"$work/dm.in" >"$work/dm.log" 2>&1 &
dm_pid=$!
exec 3>"$work/dm.in"
for _ in $(seq 100); do grep -q '^ready' "$work/dm.log" && break; sleep 0.2; done
sleep "$seconds"
echo status >&3
sleep 1
# The area dump is a development tool; an installation does not have it.
[[ ! -f "$win/kestrum_area_dump.exe" ]] || "$wine" "$win/kestrum_area_dump.exe" dm_device dm_P1
# The same device as the operator sees it.
"$wine" "$monitor" --once | tee "$work/monitor.txt"
echo quit >&3
quit_sent=1
if [[ $check -eq 1 ]]; then
  exec 3>&-
  wait "$dm_pid" || true
  dm_pid=""
  failed=()
  grep -q 'attached yes  ready yes' "$work/monitor.txt" || failed+=("scanner not attached and ready")
  grep -q '^error: none' "$work/monitor.txt" || failed+=("the device reports an error")
  # Channel 1 (S1_03_05) carries a count from the simulator.
  grep -Eq '^ +1 +S1_03_05 +[0-9]' "$work/monitor.txt" || failed+=("no scanned value")
  grep -q 'exited with status 0' "$work/dm.log" || failed+=("the scanner did not stop cleanly")
  if [[ ${#failed[@]} -gt 0 ]]; then
    say "check failed: ${failed[*]}"
    exit 1
  fi
  say "check passed"
fi
