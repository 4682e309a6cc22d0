#!/usr/bin/env bash
# Runs the fuzz targets, one at a time, each for a number of CPU seconds:
#   scripts/fuzz.sh [cpu-seconds-per-target] [target...]
# (default 600 s, every target). Builds them with clang in build/fuzz (or
# $LUM_FUZZ_BUILD). Inputs that add coverage are kept in build/fuzz/corpus/
# and reused by the next run; an input that breaks a property or trips a
# sanitizer is kept in build/fuzz/findings/ and the script fails.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${LUM_FUZZ_BUILD:-$root/build/fuzz}"
budget="${1:-600}"
shift $(( $# > 0 ? 1 : 0 ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(text_ops news statistics credentials entry_and_url profile)
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DLUM_BUILD_FUZZERS=ON >/dev/null || exit 1
cmake --build "$build" -j2 >"$build/build.log" 2>&1 || { tail -30 "$build/build.log"; exit 1; }

failed=0
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings"
  # In pieces of at most a minute, so that the CPU time is what counts even
  # when the machine is shared.
  cpu=0; execs=0; last=""; rc=0
  while [ "$(awk -v c="$cpu" -v b="$budget" 'BEGIN {print (c < b)}')" = 1 ]; do
    left=$(awk -v c="$cpu" -v b="$budget" 'BEGIN {s = int(b - c + 0.999); print (s < 60 ? s : 60)}')
    /usr/bin/time -f '%U %S' -o "$build/$t.time" \
      nice -n 19 "$build/fuzz_$t" -max_total_time="$left" -print_final_stats=1 \
        -dict="$root/tests/fuzz/$t.dict" -artifact_prefix="$build/findings/$t-" \
        "$build/corpus/$t" "$root/tests/fuzz/corpus/$t" >"$build/$t.log" 2>&1
    rc=$?
    cpu=$(awk -v c="$cpu" '{print c + $1 + $2}' "$build/$t.time")
    n=$(grep -Eo '^stat::number_of_executed_units: [0-9]+' "$build/$t.log" | grep -Eo '[0-9]+$')
    execs=$((execs + ${n:-0}))
    line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)' "$build/$t.log" | tail -1)
    [ -n "$line" ] && last="$line"
    if [ $rc -ne 0 ]; then break; fi
  done
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' <<<"$last")
  if [ $rc -ne 0 ]; then
    failed=1
    echo "$t: FINDING after $execs executions ($cpu CPU s)"
    grep -E 'property broken|ERROR: |runtime error|Test unit written' "$build/$t.log" | head -5
  else
    echo "$t: $execs executions in $cpu CPU s, $cov, corpus $(ls "$build/corpus/$t" | wc -l) inputs"
  fi
done
exit $failed
