#!/usr/bin/env bash
# The benchmark command: builds what it measures and prints one table of figures (never fails on a
# figure; fails only when something cannot be built or run, or the full soak run finds growth).
#   bash scripts/bench.sh
# Figures: native core time, allocations and instructions (callgrind) per operation of every
# bench/*_bench.cpp; under Wine the settings read cost, the whole ticks with the real adapters and
# the full soak run (100 000 ticks), the working set and private bytes of both programs after start
# and after 10 000 ticks; the size of each shipped .exe; the fuzzers run longer, with inputs tried.
# Environment: NIMBELLO_JOBS (2), NIMBELLO_BENCH_FUZZ_SECONDS (60 per target),
# NIMBELLO_SOAK_TICKS (100000), NIMBELLO_PROGRAM_TICKS (10000), and the trees
# NIMBELLO_BENCH_TREE (build/bench), NIMBELLO_X64_TREE (build/mingw-x64),
# NIMBELLO_X86_TREE (build/mingw-x86), NIMBELLO_FUZZ_TREE (build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs="${NIMBELLO_JOBS:-2}"
export NIMBELLO_BENCH_TREE="${NIMBELLO_BENCH_TREE:-build/bench}"
export NIMBELLO_X64_TREE="${NIMBELLO_X64_TREE:-build/mingw-x64}"
export NIMBELLO_X86_TREE="${NIMBELLO_X86_TREE:-build/mingw-x86}"
export NIMBELLO_FUZZ_TREE="${NIMBELLO_FUZZ_TREE:-build/fuzz}"

note() { printf '== %s\n' "$*" >&2; }

# Only the targets that are measured; a target that does not exist (yet) is skipped.
build_targets() {
  local tree="$1"
  shift
  local available
  available=$(cmake --build "$tree" --target help 2>/dev/null | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
  local wanted=()
  for t in "$@"; do
    grep -qx "$t" <<<"$available" && wanted+=("$t")
  done
  ((${#wanted[@]})) && cmake --build "$tree" -j"$jobs" --target "${wanted[@]}" >/dev/null
  return 0
}

note "native benchmarks ($NIMBELLO_BENCH_TREE)"
cmake --preset bench -B "$NIMBELLO_BENCH_TREE" >/dev/null
cmake --build "$NIMBELLO_BENCH_TREE" -j"$jobs" --target nimbello_benches >/dev/null

note "32-bit programs ($NIMBELLO_X86_TREE)"
cmake --preset mingw-x86 -B "$NIMBELLO_X86_TREE" >/dev/null
build_targets "$NIMBELLO_X86_TREE" NimbelloService NimbelloTray NimbelloDefrag

note "programs and probes under Wine ($NIMBELLO_X64_TREE)"
cmake --preset mingw-x64 -B "$NIMBELLO_X64_TREE" >/dev/null
# bench/win32/*Bench.cpp print figures of the real adapters under Wine.
mapfile -t wine_benches < <(ls bench/win32/*Bench.cpp 2>/dev/null | xargs -r -n1 basename | sed 's/\.cpp$//')
build_targets "$NIMBELLO_X64_TREE" NimbelloService NimbelloTray ProcessProbe StandInWorker \
  win32_Soak_test "${wine_benches[@]}"

note "fuzzers ($NIMBELLO_FUZZ_TREE)"
fuzz_log=$(mktemp)
trap 'rm -f "$fuzz_log"' EXIT
bash scripts/fuzz.sh "${NIMBELLO_BENCH_FUZZ_SECONDS:-60}" >"$fuzz_log" || {
  cat "$fuzz_log" >&2
  exit 1
}
export NIMBELLO_FUZZ_TABLE="$fuzz_log"

python3 bench/run_benchmarks.py
