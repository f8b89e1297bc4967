#!/usr/bin/env bash
# Runs each fuzz target for SECONDS from the writers' seeds, the inputs that once broke a reader
# and the corpus of earlier runs; prints executions and coverage (libFuzzer's cov and ft) of each.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
out=$build/fuzz

rm -rf "$out/seeds"
"$out/tarnwick-fuzz-seeds" "$out/seeds"
# The log target saves the log it read on every run; memory spares the disk those syncs.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

status=0
printf '%-14s %12s %8s %8s %8s\n' target executions exec/s cov ft
for target in package drs mod_log ledger wine_registry; do
  corpus=$out/corpus/$target
  mkdir -p "$corpus"
  inputs=("$corpus" "$out/seeds/$target")
  [ -d "$here/regressions/$target" ] && inputs+=("$here/regressions/$target")
  options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=10
           -artifact_prefix="$out/$target-")
  [ -f "$here/$target.dict" ] && options+=(-dict="$here/$target.dict")
  log=$out/$target.log
  if ! "$out/${target}_fuzzer" "${options[@]}" "${inputs[@]}" >"$log" 2>&1; then
    status=1
    echo "$target: the fuzzer stopped on a failure; the input is in $out/$target-*" >&2
    tail -n 40 "$log" >&2
  fi
  executions=$(awk '/stat::number_of_executed_units:/ {print $2}' "$log")
  speed=$(awk '/stat::average_exec_per_sec:/ {print $2}' "$log")
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  printf '%-14s %12s %8s %8s %8s\n' "$target" "${executions:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}"
done
exit $status
