#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan, UBSan) and runs each for SECONDS
# (default 5), starting from its seed corpus in fuzz/corpus/<Name>/. New inputs go to a scratch
# corpus in the build tree, never into the repository. Prints one line per target with the inputs
# tried; any crash, sanitizer report, failed property, time-out or memory excess fails the run,
# and the input that caused it is kept under <tree>/artifacts/.
#   bash scripts/fuzz.sh [SECONDS]      NIMBELLO_FUZZ_TREE picks the build tree (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-5}"
tree="${NIMBELLO_FUZZ_TREE:-build/fuzz}"
jobs="${NIMBELLO_JOBS:-2}"

cmake --preset fuzz -B "$tree" >/dev/null
cmake --build "$tree" -j"$jobs" --target nimbello_fuzzers >/dev/null

mkdir -p "$tree/artifacts"
status=0
printf '%-16s %8s %12s %10s  %s\n' "target" "seconds" "inputs" "corpus" "result"
for bin in "$tree"/bin/*_fuzz; do
  name=$(basename "$bin" _fuzz)
  seeds="fuzz/corpus/$name"
  scratch="$tree/corpus/$name"
  mkdir -p "$scratch"
  args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192
    -print_final_stats=1 -artifact_prefix="$tree/artifacts/$name-")
  [ -f "fuzz/dict/$name.dict" ] && args+=(-dict="fuzz/dict/$name.dict")
  log="$tree/artifacts/$name.log"
  result="ok"
  if ! "$bin" "${args[@]}" "$scratch" "$seeds" >"$log" 2>&1; then
    result="FAILED (see $log)"
    status=1
  fi
  inputs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  printf '%-16s %8s %12s %10s  %s\n' "$name" "$seconds" "${inputs:-?}" \
    "$(find "$scratch" -type f | wc -l)" "$result"
  if [ "$result" != "ok" ]; then
    grep -E 'ERROR|SUMMARY|property failed|runtime error' "$log" | head -5 || true
  fi
done
if ((status != 0)); then
  echo "fuzzing found problems" >&2
  exit 1
fi
