#!/usr/bin/env bash
# Runs the benchmark programs of bench/ that are built for both platforms: each program's Linux
# build (build/) and its Windows build (build-windows/) under wine, one right after the other on
# the same machine, and writes their figures side by side into the section "Windows
# under wine" at the end of BENCHMARKS.md (scripts/bench.sh keeps that section).
#
#   scripts/bench-windows.sh [--quick]
#
# --quick is a smoke run (short runs, no repetitions). CPU times per item are Google Benchmark's
# (the median of 5 repetitions); under wine a request to the wine server is answered by the
# server's own process, whose time the program's CPU clock does not count, so wall time per
# item is given too. The programs that drive the real scanner (latency_bench, devices_bench)
# print "mark" lines around their measured phases; under wine the scanners' CPU time is read
# from the Linux side at each mark (wine's GetProcessTimes of another process is unreliable).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
case "${1:-}" in
  --quick) quick=1 ;;
  "") ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
if [[ $quick == 1 ]]; then
  bench_args=(--benchmark_min_time=0.05)
  latency_args=(--reports 50 --idle-seconds 2 --silent-seconds 2)
  devices=3
  devices_args=(--devices "$devices" --seconds 5)
else
  bench_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
  latency_args=(--reports 1000 --idle-seconds 10 --silent-seconds 10)
  # Fewer than scripts/bench.sh's 50: every scanner under wine is a wine process of its own.
  devices=10
  devices_args=(--devices "$devices" --seconds 20)
fi
programs=(channel_state_bench scan_cycle_bench named_mutex_bench)
rig_programs=(latency_bench devices_bench)

# Both builds. A program the Windows build leaves out (bench/CMakeLists.txt says why when it is
# configured) is run on Linux only.
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DPARVEX_BUILD_QT=OFF >/dev/null
nice -n 19 cmake --build build -j1 --target "${programs[@]}" "${rig_programs[@]}" >/dev/null
# Builds the libraries from Debian's sources (Google Benchmark among them), configures
# build-windows/ when needed and builds the platform library every program needs; a build folder
# configured before the benchmarks were ported is switched to build them.
scripts/build-windows.sh kestrum_platform >/dev/null
if grep -q '^PARVEX_BUILD_BENCH:BOOL=OFF' build-windows/CMakeCache.txt; then
  cmake -DPARVEX_BUILD_BENCH=ON build-windows >/dev/null
fi
windows_targets=$(cmake --build build-windows --target help | sed -n 's/^\([a-z_]*_bench\): .*/\1/p')
windows=()
for p in "${programs[@]}" "${rig_programs[@]}"; do
  grep -qx "$p" <<<"$windows_targets" && windows+=("$p")
done
[[ ${#windows[@]} -gt 0 ]] && scripts/build-windows.sh "${windows[@]}" >/dev/null

out=$(mktemp -d)
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/parvex-wine-XXXXXX")
export WINEPREFIX WINEDEBUG=-all
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
trap '"$wineserver" -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$out"' EXIT
# The prefix is made by its first program start (about 15 s), before anything is measured.
[[ ${#windows[@]} -gt 0 ]] &&
  scripts/wine-run.sh "build-windows/bench/${windows[0]}.exe" --benchmark_list_tests >/dev/null

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
for p in "${programs[@]}"; do
  echo "$p on Linux ..." >&2
  "build/bench/$p" --benchmark_format=csv "${bench_args[@]}" 2>/dev/null >"$out/$p.linux.csv"
  if [[ " ${windows[*]} " == *" $p "* ]]; then
    echo "$p under wine ..." >&2
    scripts/wine-run.sh "build-windows/bench/$p.exe" --benchmark_format=csv "${bench_args[@]}" \
      2>/dev/null | tr -d '\r' >"$out/$p.windows.csv"
  fi
done

# CPU time (utime + stime, in clock ticks) of the processes of this run's wine prefix whose
# command name matches $1 (wine programs of other prefixes are not counted).
clock_ticks=$(getconf CLK_TCK)
wine_ticks() {
  local sum=0 d comm stat rest f
  for d in /proc/[0-9]*; do
    read -r comm 2>/dev/null <"$d/comm" || continue
    # shellcheck disable=SC2053  # $1 is a pattern
    [[ $comm == $1 ]] || continue
    tr '\0' '\n' 2>/dev/null <"$d/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    read -r stat 2>/dev/null <"$d/stat" || continue
    rest=${stat##*) } # the fields after the command name: the state first, utime the 12th
    read -r -a f <<<"$rest"
    sum=$((sum + f[11] + f[12]))
  done
  echo "$sum"
}
# Runs a program that prints "mark NAME" lines; under wine each mark is followed by a line
# "at NAME SECONDS SCANNER_TICKS WINESERVER_TICKS" read from the Linux side at once.
run_marked() {
  local under_wine=$1 line
  shift
  # The carriage returns are dropped here: a filter in between would hold the marks back in its
  # output buffer until the program ends.
  "$@" | while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line"
    if [[ $under_wine == 1 && $line == "mark "* ]]; then
      echo "at ${line#mark } $(date +%s.%N) $(wine_ticks parvex_sc.exe) $(wine_ticks 'wineserver*')"
    fi
  done
}
for p in "${rig_programs[@]}"; do
  args_name="${p%_bench}_args[@]"
  echo "$p on Linux ..." >&2
  run_marked 0 "build/bench/$p" "${!args_name}" >"$out/$p.linux.txt" || echo "$p failed" >&2
  if [[ " ${windows[*]} " == *" $p "* ]]; then
    echo "$p under wine ..." >&2
    run_marked 1 scripts/wine-run.sh "build-windows/bench/$p.exe" "${!args_name}" \
      >"$out/$p.windows.txt" || echo "$p failed under wine" >&2
  fi
done
load_end=$(cut -d' ' -f1-3 /proc/loadavg)

# Prints "name cpu_ns real_ns" per benchmark of a CSV (the median row when repeated), per item
# where the benchmark counts items (items per iteration = items_per_second * cpu time).
per_item() {
  [[ -f $1 ]] || return 0
  awk -F, '
    NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    { name = $1; gsub(/"/, "", name)
      if (name ~ /_(mean|stddev|cv)$/) next
      sub(/_median$/, "", name)
      u = $col["time_unit"]; gsub(/"/, "", u)
      f = (u == "us") ? 1000 : (u == "ms") ? 1e6 : (u == "s") ? 1e9 : 1
      cpu = $col["cpu_time"] * f; real = $col["real_time"] * f
      n = 1
      if ($col["items_per_second"] != "") n = int($col["items_per_second"] * cpu * 1e-9 + 0.5)
      if (n < 1) n = 1
      printf "%s %.2f %.2f\n", name, cpu / n, real / n }' "$1"
}

# The value of "name value" line $2 of a rig program's output $1; "-" when there is none.
rig_value() {
  local v=""
  [[ -f $1 ]] && v=$(awk -v k="$2" '$1 == k { print $2 }' "$1")
  echo "${v:--}"
}
# The share of one core (percent) used between the marks $2_begin and $2_end by the processes
# of column $3 of the "at" lines of $1 (1: the scanners, 2: the wine server).
linux_side_percent() {
  [[ -f $1 ]] || { echo "-"; return; }
  awk -v phase="$2" -v col="$3" -v hz="$clock_ticks" '
    $1 == "at" && $2 == phase "_begin" { t0 = $3; c0 = $(col + 3) }
    $1 == "at" && $2 == phase "_end" { t1 = $3; c1 = $(col + 3) }
    END { if (t1 > t0) printf "%.3f", 100 * (c1 - c0) / hz / (t1 - t0); else print "-" }' "$1"
}
rig_row() { # label program value-name
  echo "| $1 | $(rig_value "$out/$2.linux.txt" "$3") | $(rig_value "$out/$2.windows.txt" "$3") |"
}

section() {
  echo "## Windows under wine"
  echo
  echo "Written by \`scripts/bench-windows.sh\`$([[ $quick == 1 ]] && echo " (--quick: a smoke run, not the figures of record)")."
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  local merging
  merging=$(git rev-parse -q --short --verify MERGE_HEAD || true)
  echo "- Commit: $(git rev-parse --short HEAD)${merging:+, with $merging merged in (not committed)}"
  echo "- Machine: $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
  echo "- Wine: $("$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)" --version)"
  echo "- Load average at the start and at the end of the run: $load_start / $load_end"
  echo
  echo "Each program's Linux build (gcc, \`build/\`) and Windows build (mingw-w64 gcc, static,"
  echo "\`build-windows/\`, run with \`scripts/wine-run.sh\`) ran one right after the other, so both"
  echo "saw the same load. Figures are nanoseconds per item (a channel, or one lock and unlock), the"
  echo "$([[ $quick == 1 ]] && echo "one short run" || echo "median of 5 repetitions") of Google Benchmark: CPU time of the benchmark process and wall time."
  if ! awk -v l="$load_start" 'BEGIN { exit !(l + 0 < 1.0) }'; then
    echo "The machine was shared and loaded during the run (other builds and test runs on the same"
    echo "cores): CPU times hold, wall times include waiting for a core."
  fi
  echo
  echo "| benchmark | Linux CPU | Linux wall | wine CPU | wine wall |"
  echo "|---|---|---|---|---|"
  for p in "${programs[@]}"; do
    while read -r name cpu real; do
      local w
      w=$(per_item "$out/$p.windows.csv" | awk -v n="$name" '$1 == n { print $2 " | " $3 }')
      echo "| \`$p\` $name | $cpu | $real | ${w:-not built for Windows | } |"
    done < <(per_item "$out/$p.linux.csv")
  done
  echo
  echo "Commands: \`build/bench/<program> --benchmark_format=csv ${bench_args[*]}\` and"
  echo "\`scripts/wine-run.sh build-windows/bench/<program>.exe\` with the same arguments, in one"
  echo "throwaway wine prefix."
  echo
  echo "### The scanner against a counter"
  echo
  echo "The real scanner (\`parvex_sc\`, \`parvex_sc.exe\` under wine) started by the driver-manager"
  echo "stand-in; the benchmark writes the counter's reports itself (the end-to-end rig's"
  echo "\`RigCounter\`) into a pseudo-terminal, under wine the serial bridge's, which the scanner"
  echo "opens as a COM port. Latencies in milliseconds, CPU in percent of one core, memory in kB."
  echo
  local lat=latency_bench dev=devices_bench phase label
  echo "| what | Linux | wine |"
  echo "|---|---|---|"
  rig_row "latency BEL to message 32, median" $lat latency_median_ms
  rig_row "latency BEL to message 32, p99" $lat latency_p99_ms
  rig_row "latency BEL to message 32, maximum" $lat latency_max_ms
  rig_row "the BEL's own write (part of the latency), median" $lat bel_write_median_ms
  rig_row "reports lost (of $(rig_value "$out/$lat.linux.txt" reports))" $lat reports_lost
  for phase in idle silent; do
    label="scanner idle"
    [[ $phase == silent ]] && label="scanner waiting on a silent counter"
    echo "| CPU, $label (utime+stime) | $(rig_value "$out/$lat.linux.txt" "cpu_${phase}_ticks_percent") | $(linux_side_percent "$out/$lat.windows.txt" $phase 1) |"
    rig_row "CPU, $label, as the program reads it" $lat "cpu_${phase}_percent"
    echo "| CPU of the wine server meanwhile | | $(linux_side_percent "$out/$lat.windows.txt" $phase 2) |"
  done
  rig_row "resident memory of the scanner" $lat scanner_rss_kb
  echo "| CPU, $devices scanners together (utime+stime) | $(rig_value "$out/$dev.linux.txt" cpu_all_ticks_percent) | $(linux_side_percent "$out/$dev.windows.txt" measure 1) |"
  rig_row "CPU, $devices scanners together, as the program reads it" $dev cpu_all_percent
  echo "| CPU of the wine server meanwhile | | $(linux_side_percent "$out/$dev.windows.txt" measure 2) |"
  rig_row "scans per device per second" $dev scans_per_device_per_second
  rig_row "mean resident memory per scanner, $devices scanners" $dev rss_mean_kb
  echo
  echo "Commands: \`build/bench/latency_bench ${latency_args[*]}\` and"
  echo "\`build/bench/devices_bench ${devices_args[*]}\`, and the same through"
  echo "\`scripts/wine-run.sh build-windows/bench/<program>.exe\`. The programs read the scanners'"
  echo "CPU time themselves (\"as the program reads it\": the process's CPU clock on Linux,"
  echo "\`GetProcessTimes\` on Windows). Under wine \`GetProcessTimes\` of another process does not"
  echo "agree with Linux's count (lower, or far higher with many scanners), so the utime+stime"
  echo "figures under wine are read by this script from \`/proc\`"
  echo "(the \`parvex_sc.exe\` and \`wineserver\` processes of the run's wine prefix) when the"
  echo "program marks the start and the end of each measured phase. The upper section's figures"
  echo "come from \`scripts/bench.sh\` (50 devices, a quiet machine), these from one run beside wine."
  echo
  echo "### What wine adds"
  echo
  echo "- Computation runs about as fast as on Linux: both builds are gcc 12 at -O2, and the"
  echo "  channel evaluation (\`channel_state_bench\`, no system calls) costs about the same CPU"
  echo "  time per channel (within a quarter, on a machine this loaded)."
  echo "- Every call that Windows answers in its kernel is, under wine, a request to the wine"
  echo "  server, another process, over a Unix socket: two context switches and a wait for the"
  echo "  server per call. Locking and unlocking a named mutex (\`WaitForSingleObject\`,"
  echo "  \`ReleaseMutex\`) are two such requests, where Linux's robust mutex in a mapped file"
  echo "  takes its uncontended lock with one atomic instruction and no system call. So the lock"
  echo "  pair of \`named_mutex_bench\` costs tens of microseconds of CPU time and, on a loaded"
  echo "  machine, hundreds of microseconds of wall time under wine, against nanoseconds on Linux."
  echo "  The wine server's share is CPU time of the \`wineserver\` process, which the"
  echo "  benchmark's own CPU clock does not count: compare the wall times. On Windows itself each"
  echo "  is one system call without a server in between (not measured here)."
  echo "- A scan locks its channel table a few times (the update mark, the publication, the"
  echo "  notification) and posts message 32 to each subscriber by message (a mailslot write, none"
  echo "  in \`scan_cycle_bench\`), so under wine every scan pays a few server requests, spread"
  echo "  over its 1000 channels. Mailslot writes, events and the creation and mapping of areas"
  echo "  are server requests too."
  echo "- The scan-cycle targets (at most 15 ns per channel changed, 5 ns unchanged) are for the"
  echo "  system on Windows itself and are judged on Linux above; under wine a scan misses them by"
  echo "  its server requests alone, while the evaluation's own cost is the same as on Linux."
  echo "- Under load a request waits for the server to get a core and then for the client to get"
  echo "  one back, so wall times under wine grow with the load faster than the Linux ones."
  echo "- From the counter's BEL to message 32 under wine: the BEL travels through the serial"
  echo "  bridge (a request file that the bridge, a Linux process, looks for every 2 ms, writes to"
  echo "  the pseudo-terminal and answers with a file the program looks for every 1 ms: \"the BEL's"
  echo "  own write\"), then the scanner's read of its COM"
  echo "  port, which wine's server answers and which the scanner asks every 2 ms"
  echo "  (\`SerialPort::kPollStepMs\`: a port opened without overlapped I/O cannot be waited for),"
  echo "  then the scan's table locks (named mutexes) and the mailslot write of message 32 to the"
  echo "  subscriber, each a server request, and the subscriber's mailslot read."
  echo "- A waiting scanner asks its port every 2 ms under wine, where the Linux scanner sleeps in"
  echo "  \`poll\` until bytes come; each question is a server request, so a silent counter costs"
  echo "  the scanner and the wine server CPU time that Linux does not spend. The 2-ms polling is"
  echo "  Windows' too; its cost there (one system call each) was not measured."
}

# The section replaces the one a previous run wrote; the Linux figures above it stay.
{
  [[ -f BENCHMARKS.md ]] && sed '/^## Windows under wine$/,$d' BENCHMARKS.md
  section
} >"$out/BENCHMARKS.md"
mv "$out/BENCHMARKS.md" BENCHMARKS.md
sed -n '/^## Windows under wine$/,$p' BENCHMARKS.md
