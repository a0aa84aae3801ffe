#!/usr/bin/env bash
# The main job: a live demo of the scanner on a simulated counter.
#
#   scripts/demo.sh              installs what is missing, builds, and shows the monitor's live
#                                view of the demo counter until q or Ctrl-C
#   scripts/demo.sh --for 20     runs 20 seconds without the live view, then prints the
#                                monitor's one-shot text (for scripted checks)
#
# Options: --json (with --for: print JSON), --keep (keep the temporary folder and print where
# it is), --build-dir DIR (default: build), --compiled (the scanner reads the compiled binary
# files: the XML files are removed from the device folder after compiling), --device DIR (a
# device folder of your own, config.xml and ai.xml, in place of demo/PARVEX1; its PortName
# must be DEMO1, its channels at most 22), --installed ROOT (builds nothing: runs the programs of
# the installed package under the file-system root ROOT, "/" for this machine, with the demo's
# files from its examples; the programs find their folder as installed, from the registry's
# installation root, with no KSM_BIN).
#
# What runs, all inside one temporary folder (removed at the end):
#   the demo device's XML configuration (demo/PARVEX1) compiled with kestrum_cfgc; the scanner
#     reads the XML form (the counter's extension module, built next to parvex_sc and found
#     through KSM_BIN, turns it on), or with --compiled the binary files;
#   counter_sim, a simulated counter on a pseudo-terminal published as port DEMO1, printing a
#     report every second for sampler ports 1 and 2 in turn;
#   kestrum_dm, the driver-manager stand-in: it builds the instance from demo/system.json
#     (with an "ALARM" data processor, so alarm records are sent), starts parvex_sc for device 1
#     and sends it a scan request every second;
#   kestrum_monitor in front, which binds the "xalarms" mailslot before the scanner starts.
# At the end the driver-manager stand-in stops the scanner with request 31 (the scanner saves
# its output values, of which this device has none, and marks its channels failed), then the
# simulator stops and the folder goes.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD

seconds=""
as_json=0
keep=0
compiled=0
build=build
device=demo/PARVEX1
installed=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --for) seconds=${2:?--for needs a number of seconds}; shift 2 ;;
    --json) as_json=1; shift ;;
    --keep) keep=1; shift ;;
    --compiled) compiled=1; shift ;;
    --build-dir) build=${2:?--build-dir needs a folder}; shift 2 ;;
    --device) device=${2:?--device needs a folder}; shift 2 ;;
    --installed) installed=${2:?--installed needs a root folder}; shift 2 ;;
    -h|--help) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown option $1 (see --help)" >&2; exit 2 ;;
  esac
done
if [[ -n "$seconds" && ! "$seconds" =~ ^[0-9]+$ ]]; then
  echo "demo: --for takes whole seconds" >&2
  exit 2
fi
if [[ -z "$seconds" && ! ( -t 0 && -t 1 ) ]]; then
  echo "demo: the live view needs a terminal; use --for SECONDS for a run without it" >&2
  exit 2
fi

say() { echo "demo: $*" >&2; }

have_scanner=1
if [[ -n "$installed" ]]; then
  # The package's layout: the installation root /opt/Kestrum, its program folder BIN.
  install_root=${installed%/}/opt/Kestrum
  examples=${installed%/}/usr/share/doc/parvex/examples
  [[ -x "$install_root/BIN/parvex_sc" ]] || { say "no parvex package under $installed"; exit 1; }
  scanner=$install_root/BIN/parvex_sc
  cfgc=$install_root/BIN/kestrum_cfgc
  counter_sim=$install_root/BIN/counter_sim
  dm=$install_root/BIN/kestrum_dm
  monitor_program=$install_root/BIN/kestrum_monitor
  system_json=$examples/system.json
  [[ "$device" == demo/PARVEX1 ]] && device=$examples/PARVEX1
else
  scripts/setup.sh
  say "building (this takes a while the first time)"
  cmake -S . -B "$build" -G Ninja >/dev/null
  targets=(kestrum_dm counter_sim kestrum_monitor kestrum_cfgc)
  have_scanner=0
  if [[ $(cmake --build "$build" --target help) == *$'\n'parvex_sc:* ]]; then
    targets+=(parvex_sc)
    have_scanner=1
  fi
  if ! cmake --build "$build" -j2 --target "${targets[@]}" >"$build/demo-build.log" 2>&1; then
    tail -n 30 "$build/demo-build.log" >&2
    say "build failed (whole log: $build/demo-build.log)"
    exit 1
  fi
  bin=$repo/$build
  scanner=$bin/scanner/parvex_sc
  cfgc=$bin/tools/cfgc/kestrum_cfgc
  counter_sim=$bin/tools/counter_sim/counter_sim
  dm=$bin/tools/dm/kestrum_dm
  monitor_program=$bin/tools/monitor/kestrum_monitor
  system_json=$repo/demo/system.json
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/parvex-demo-XXXXXX")
export KESTRUM_RUNDIR=$work/run
export KESTRUM_REGISTRY=$work/registry
export KSM_CURRENT_CONFIG=$work/config
export KSM_SAVED_VALUES=$work/saved
mkdir -p "$KESTRUM_REGISTRY" "$KSM_CURRENT_CONFIG" "$KSM_SAVED_VALUES"
if [[ -n "$installed" ]]; then
  # The installation root as the registry names it ("Root:"), so that the programs resolve
  # their program folder, where the loaders find the extension module, as installed.
  key=$KESTRUM_REGISTRY/HKEY_LOCAL_MACHINE/SOFTWARE/Veltrane/Kestrum
  mkdir -p "$key"
  echo "$install_root" >"$key/Root:"
else
  # The program folder, where the loaders find the counter's extension module.
  export KSM_BIN=$bin/scanner
fi

monitor_pid=""
dm_starter=""
cleaned=0

# Starts a program in a session of its own, so that Ctrl-C on the terminal reaches only the
# monitor and this script, which then stop the others in order. The program's process id is
# written to the file $1 (setsid may fork, so $! would not be it); its output goes to $2.
spawn() {
  local pid_file=$1 log=$2
  shift 2
  setsid bash -c 'echo $$ >"$0"; exec "$@"' "$pid_file" "$@" </dev/null >"$log" 2>&1 &
  for _ in $(seq 50); do [[ -s "$pid_file" ]] && return 0; sleep 0.1; done
}

# Sends SIGTERM to the process whose id is in file $1 and waits up to $2 seconds for it.
stop_spawned() {
  local pid
  pid=$(cat "$1" 2>/dev/null) || return 0
  [[ -n "$pid" ]] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq $(( $2 * 10 ))); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  say "process $pid did not stop in $2 s; killing it"
  kill -KILL "$pid" 2>/dev/null || true
}

# Stops everything this script started, in order: the driver-manager stand-in first (it sends
# 31 to the scanner, waits for it and removes the instance), then the simulator; then removes
# the folder.
cleanup() {
  [[ $cleaned -eq 1 ]] && return
  cleaned=1
  trap '' INT TERM
  if [[ -n "$monitor_pid" ]]; then kill -TERM "$monitor_pid" 2>/dev/null || true; fi
  touch "$work/stopping"
  if [[ -n "$dm_starter" ]]; then wait "$dm_starter" 2>/dev/null || true; fi
  stop_spawned "$work/dm.pid" 15
  stop_spawned "$work/counter_sim.pid" 5
  if [[ -s "$work/dm.log" ]]; then
    say "driver manager said:"
    sed 's/^/  /' "$work/dm.log" >&2
  fi
  local saved
  saved=$(cd "$KSM_SAVED_VALUES" 2>/dev/null && ls -A) || true
  say "saved values: ${saved:-(none)}"
  if [[ $keep -eq 1 ]]; then
    say "kept $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The demo device's configuration: XML under demo/, compiled to the binary files.
mkdir "$KSM_CURRENT_CONFIG/PARVEX1"
cp "$device"/config.xml "$device"/ai.xml "$KSM_CURRENT_CONFIG/PARVEX1/"
# --channels: the ai table's channel count in demo/system.json. The check stops the demo on any
# error in the XML (all of them printed) before anything is compiled.
"$cfgc" check "$KSM_CURRENT_CONFIG/PARVEX1" --channels 22 >/dev/null
"$cfgc" compile "$KSM_CURRENT_CONFIG/PARVEX1" --channels 22 >/dev/null
if [[ $compiled -eq 1 ]]; then rm "$KSM_CURRENT_CONFIG"/PARVEX1/*.xml; fi

spawn "$work/counter_sim.pid" "$work/counter_sim.log" "$counter_sim" \
  --port DEMO1 --interval 1000 --ports 1,2 --seed 7 --period 40 --no-stdin

# Starts the driver-manager stand-in (and with it the scanner) once the monitor has bound
# "xalarms": a scanner looks for the alarm mailslot only once.
start_dm() {
  local args=(--system "$system_json")
  if [[ $have_scanner -eq 1 ]]; then
    args+=(--scanner "$scanner")
  else
    say "parvex_sc is not part of this build yet: running without a scanner"
  fi
  (
    for _ in $(seq 100); do [[ -e "$work/monitor.ready" ]] && break; sleep 0.1; done
    [[ -e "$work/stopping" ]] && exit 0
    spawn "$work/dm.pid" "$work/dm.log" "$dm" "${args[@]}"
  ) &
  dm_starter=$!
}

monitor=("$monitor_program" --driver parvex --device 1
         --ready-file "$work/monitor.ready")
if [[ -z "$seconds" ]]; then
  start_dm
  "${monitor[@]}" || true
else
  format=()
  [[ $as_json -eq 1 ]] && format=(--json)
  "${monitor[@]}" --once --listen "$seconds" --wait 20 "${format[@]}" \
    >"$work/monitor.txt" 2>"$work/monitor.err" &
  monitor_pid=$!
  start_dm
  status=0
  wait "$monitor_pid" || status=$?
  monitor_pid=""
  cat "$work/monitor.txt"
  if [[ $status -ne 0 ]]; then
    cat "$work/monitor.err" >&2
    exit "$status"
  fi
fi
