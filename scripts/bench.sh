#!/bin/bash
# Runs the benchmarks and writes BENCHMARKS.md at the top of the repository: the machine, the
# commit, and each result against its target.
#
#   scripts/bench.sh [--quick] [--devices N] [--build DIR]
#
# --quick is a smoke run (a few seconds per part, 5 devices); the full run takes about four
# minutes. CPU shares are CPU time over wall time, so they hold on a busy machine; latencies are
# wall time and suffer from the load.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
devices=50
build=build
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1; devices=5 ;;
    --devices) devices="$2"; shift ;;
    --build) build="$2"; shift ;;
    *) echo "usage: $0 [--quick] [--devices N] [--build DIR]" >&2; exit 2 ;;
  esac
  shift
done

if [ $quick = 1 ]; then
  reports=100; idle=3; silent=3; seconds=5; bench_args="--benchmark_min_time=0.05"
else
  reports=1000; idle=20; silent=20; seconds=30
  bench_args="--benchmark_repetitions=5 --benchmark_report_aggregates_only=true"
fi

[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target scan_cycle_bench latency_bench devices_bench parvex_sc >/dev/null

load_start=$(cut -d' ' -f1-3 /proc/loadavg)
# The Windows figures (scripts/bench-windows.sh) are kept at the end of the new file.
windows_section=$(sed -n '/^## Windows under wine$/,$p' BENCHMARKS.md 2>/dev/null || true)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "scan cycle ..." >&2
# CSV: name,iterations,real_time,cpu_time,time_unit,...; the loop covers 1000 channels.
"$build/bench/scan_cycle_bench" --benchmark_format=csv $bench_args 2>/dev/null >"$out/scan.csv"
scan_ns() {  # name -> CPU ns per channel (the median row when repeated)
  awk -F, -v n="\"$1\"" -v m="\"$1_median\"" \
    '$1 == n || $1 == m { t = $4; u = $5; gsub(/"/, "", u);
       f = (u == "us") ? 1000 : (u == "ms") ? 1e6 : 1; printf "%.2f", t * f / 1000 }' \
    "$out/scan.csv"
}
unchanged=$(scan_ns BM_ScanCycleUnchanged)
changed=$(scan_ns BM_ScanCycleChanged)
crossing=$(scan_ns BM_ScanCycleCrossingLimits)

echo "latency and CPU of one scanner ..." >&2
"$build/bench/latency_bench" --reports $reports --idle-seconds $idle --silent-seconds $silent \
  >"$out/latency.txt" || echo "latency_bench failed" >&2
echo "$devices devices ..." >&2
"$build/bench/devices_bench" --devices "$devices" --seconds $seconds >"$out/devices.txt" ||
  echo "devices_bench failed" >&2

value() { awk -v k="$2" '$1 == k { print $2 }' "$1"; }
verdict() {  # value target -> "met" / "MISSED"
  awk -v v="$1" -v t="$2" 'BEGIN { if (v == "") print "not measured";
                                   else print (v + 0 <= t + 0) ? "met" : "MISSED" }'
}
lat() { value "$out/latency.txt" "$1"; }
dev() { value "$out/devices.txt" "$1"; }

p99=$(lat latency_p99_ms)
idle_cpu=$(lat cpu_idle_percent)
silent_cpu=$(lat cpu_silent_percent)
all_cpu=$(dev cpu_all_percent)
rss_max=$(dev rss_max_kb)
rss_mb=$(awk -v k="$rss_max" 'BEGIN { if (k != "") printf "%.1f", k / 1024 }')
run_kind="full run"
[ $quick = 1 ] && run_kind="quick smoke run (--quick): short phases, not the figures of record"

{
  echo "# Benchmarks"
  echo
  echo "Written by \`scripts/bench.sh\` ($run_kind)."
  echo
  echo "- Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "- Commit: $(git rev-parse --short HEAD)"
  echo "- Machine: $(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
  echo "- Load average at the start of the run: $load_start"
  echo
  if awk -v l="$load_start" 'BEGIN { exit !(l + 0 < 1.0) }'; then
    echo "The machine was quiet when the run started (load average below 1). CPU shares are CPU"
  else
    echo "The machine was shared and loaded while these numbers were taken (other builds and test"
    echo "runs on the same cores). CPU shares are CPU"
  fi
  echo "time (all threads, from the process's CPU clock, cross-checked with utime+stime of"
  echo "\`/proc/<pid>/stat\`, which counts whole clock ticks of 10 ms and so shows 0 for a"
  echo "process that used less than one) over wall time, and the scan cycle is CPU time per"
  echo "iteration, so those hold under load; latencies are wall time and include waiting for a"
  echo "core."
  echo
  echo "| what | result | target | |"
  echo "|---|---|---|---|"
  echo "| scan cycle, values changed, per channel | $changed ns | <= 15 ns | $(verdict "$changed" 15) |"
  echo "| scan cycle, values unchanged, per channel | $unchanged ns | <= 5 ns | $(verdict "$unchanged" 5) |"
  echo "| scan cycle, half the channels crossing limits, per channel | $crossing ns | (none) | |"
  echo "| latency BEL to message 32, median | $(lat latency_median_ms) ms | | |"
  echo "| latency BEL to message 32, p99 | $p99 ms | <= 3 ms | $(verdict "$p99" 3) |"
  echo "| latency BEL to message 32, maximum | $(lat latency_max_ms) ms | | |"
  echo "| CPU, scanner idle | $idle_cpu % | <= 0.1 % | $(verdict "$idle_cpu" 0.1) |"
  echo "| CPU, scanner waiting on a silent counter | $silent_cpu % | <= 1 % | $(verdict "$silent_cpu" 1) |"
  echo "| CPU, $devices scanners together | $all_cpu % | <= 5 % | $(verdict "$all_cpu" 5) |"
  echo "| resident memory per scanner (largest) | $rss_mb MB | <= 8 MB | $(verdict "$rss_mb" 8) |"
  echo
  echo "## How each was measured"
  echo
  echo "- Scan cycle (\`bench/scan_cycle_bench\`, Google Benchmark, CPU time): the scanner's own"
  echo "  scan on a 1000-channel table of an instance built by the driver-manager stand-in; every"
  echo "  channel enabled with scaling, significant change, warnings, alarms with deadband and"
  echo "  events; includes evaluation, event counts, publication under the table lock and the"
  echo "  notification of subscribers. Only the serial read is replaced by prepared readings."
  echo "  Changed: every value moves by more than its significant change inside the normal band."
  echo "- Latency (\`bench/latency_bench\`): the real \`parvex_sc\` started by the stand-in, reading a"
  echo "  pseudo-terminal written by the benchmark; a scan request is posted, the report is"
  echo "  written without its BEL, then the BEL alone, time-stamped; the benchmark is subscribed"
  echo "  to the table by message and time-stamps message 32. $(lat reports) reports,"
  echo "  $(lat reports_lost) lost."
  echo "- CPU of one scanner: idle is no requests for ${idle} s; silent is a scan request always"
  echo "  pending against a counter that sends nothing for ${silent} s (utime+stime:"
  echo "  $(lat cpu_idle_ticks_percent) % and $(lat cpu_silent_ticks_percent) %)."
  echo "- Many devices (\`bench/devices_bench --devices $devices\`): $devices scanners in one"
  echo "  instance, each with its own counter reporting every second (a thread of the benchmark"
  echo "  writing a pseudo-terminal, the end-to-end rig's \`RigCounter\`), scanned at each"
  echo "  one-second boundary by the stand-in; $(dev scans_per_device_per_second) scans per device"
  echo "  per second over $(dev seconds) s; utime+stime $(dev cpu_all_ticks_percent) %; mean"
  echo "  resident memory $(dev rss_mean_kb) kB. The counters are not counted."
  echo
  echo "## Where the time goes"
  echo
  echo "While a scan waits for a report, the serial link keeps the driver-manager gate open and"
  echo "polls the port together with the link's wake-up descriptor. Its silence time-out is a"
  echo "count of 2-ms polling steps; the link sleeps through all the steps left in one poll and"
  echo "then charges the steps that passed (every step begun counts, a wait ended by a request"
  echo "at least one), so a waiting scanner wakes only for bytes, requests and the time-out"
  echo "itself instead of 500 times a second. An idle scanner (no request) sleeps without a"
  echo "time limit. What is left of the many-device figure is reading and evaluating one report"
  echo "a second per scanner and the stand-in's scan requests."
  echo
  echo "The scan cycle's time is spent in the per-channel evaluation. The channel loop is"
  echo "compiled a second time for the usual scan (an input kind after its first scan with all"
  echo "arrays present), so its checks for the rarer cases drop out, and the warning, alarm and"
  echo "event evaluation is out of line, reached only when a value or its validity changed;"
  echo "an unchanged channel costs the loads of its reading, its configuration record's scaling"
  echo "and significant-change fields and its published value. Locking, publication and"
  echo "notification of the table are a small share; the process id is read once per process"
  echo "rather than by a system call in every lock and notification. The CPU time per iteration"
  echo "rises on a loaded machine, as other processes evict the 216-byte configuration records"
  echo "from the shared caches."
  if [ -n "$windows_section" ]; then
    echo
    echo "$windows_section"
  fi
} >BENCHMARKS.md
cat BENCHMARKS.md
