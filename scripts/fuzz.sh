#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan, in build-fuzz/) and runs each one for a
# bounded time from its checked-in seed corpus (fuzz/corpus/<target>/), with its token
# dictionary (fuzz/dict/<target>.dict) when there is one. Fails on any crash, leak, time-out
# (5 s per input) or out-of-memory.
#   scripts/fuzz.sh [seconds per target, default 30] [target...]
# New inputs found during the run are kept in build-fuzz/corpus/<target>/, outside the
# repository; a failing input is left in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
scripts/setup.sh

builddir=build-fuzz
jobs=${PARVEX_JOBS:-$(nproc)}
CC=clang CXX=clang++ cmake -S . -B "$builddir" -G Ninja -DPARVEX_BUILD_FUZZ=ON \
  -DPARVEX_SANITIZE=address -DPARVEX_BUILD_QT=OFF -DPARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$builddir" -j "$jobs" --target fuzz_targets

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

failed=()
for target in "${targets[@]}"; do
  work="$builddir/corpus/$target"
  artifacts="$builddir/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  dict=()
  [[ -f "fuzz/dict/$target.dict" ]] && dict=(-dict="fuzz/dict/$target.dict")
  echo "fuzz: $target for ${seconds}s"
  if ! "$builddir/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts" "${dict[@]}" \
      "$work" "fuzz/corpus/$target" >"$builddir/fuzz-$target.log" 2>&1; then
    failed+=("$target")
    echo "fuzz: $target FAILED; see $builddir/fuzz-$target.log and $artifacts" >&2
    grep -m 20 -E "ERROR|SUMMARY|expectation|Test unit written" "$builddir/fuzz-$target.log" >&2 || true
  else
    grep -E "stat::number_of_executed_units|stat::new_units_added" "$builddir/fuzz-$target.log" |
      tr '\n' ' ' | sed "s/^/fuzz: $target /; s/\$/\n/"
  fi
done

if [[ ${#failed[@]} -gt 0 ]]; then
  echo "fuzz: failures in ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: all targets clean"
