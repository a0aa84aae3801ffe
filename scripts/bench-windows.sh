#!/usr/bin/env bash
# Runs the Google Benchmark programs of bench/ that are built for both platforms: each program's
# Linux build (build/) and its Windows build (build-windows/) under wine, one right after the
# other on the same machine, and writes their figures side by side into the section "Windows
# under wine" at the end of BENCHMARKS.md (scripts/bench.sh keeps that section).
#
#   scripts/bench-windows.sh [--quick]
#
# --quick is a smoke run (short runs, no repetitions). CPU times per item are Google Benchmark's
# (the median of 5 repetitions); under wine a request to the wine server is answered by the
# server's own process, whose time the program's CPU clock does not count, so wall time per
# item is given too.
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
else
  bench_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
fi
programs=(channel_state_bench scan_cycle_bench named_mutex_bench)

# Both builds. A program the Windows build leaves out (bench/CMakeLists.txt says why when it is
# configured) is run on Linux only.
[[ -f build/CMakeCache.txt ]] || cmake -S . -B build -G Ninja -DPARVEX_BUILD_QT=OFF >/dev/null
nice -n 19 cmake --build build -j1 --target "${programs[@]}" >/dev/null
# Builds the libraries from Debian's sources (Google Benchmark among them), configures
# build-windows/ when needed and builds the platform library every program needs; a build folder
# configured before the benchmarks were ported is switched to build them.
scripts/build-windows.sh kestrum_platform >/dev/null
if grep -q '^PARVEX_BUILD_BENCH:BOOL=OFF' build-windows/CMakeCache.txt; then
  cmake -DPARVEX_BUILD_BENCH=ON build-windows >/dev/null
fi
windows_targets=$(cmake --build build-windows --target help | sed -n 's/^\([a-z_]*_bench\): .*/\1/p')
windows=()
for p in "${programs[@]}"; do
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
}

# The section replaces the one a previous run wrote; the Linux figures above it stay.
{
  [[ -f BENCHMARKS.md ]] && sed '/^## Windows under wine$/,$d' BENCHMARKS.md
  section
} >"$out/BENCHMARKS.md"
mv "$out/BENCHMARKS.md" BENCHMARKS.md
sed -n '/^## Windows under wine$/,$p' BENCHMARKS.md
