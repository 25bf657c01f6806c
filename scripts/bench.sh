#!/usr/bin/env bash
# Runs the benchmarks of a build directory: generates the corpus once (cached in
# <builddir>/bench-data, regenerated when missing or made by another generator version),
# then runs every bench binary present. Each figure is one line on stdout:
#   BENCH <name> ratio=<x> target=<t> PASS|MISS
# Details (absolute times) go to stderr. BENCH_REPS overrides the repetitions,
# BENCH_ONLY runs only the cases whose name contains it.
set -euo pipefail

build=${1:-build}
data=${BENCH_DATA:-$build/bench-data}
core=$build/bench/larkpad_bench
if [ ! -x "$core" ]; then
  echo "bench.sh: $core is missing; build first (make build)" >&2
  exit 1
fi

want=$("$core" corpus-version)
if [ ! -f "$data/corpus.stamp" ] || [ "$(cat "$data/corpus.stamp")" != "$want" ] ||
   [ ! -f "$data/corpus-plain.lkp" ] || [ ! -f "$data/corpus-zipped.lkp" ]; then
  echo "bench.sh: generating the corpus in $data" >&2
  rm -rf "$data"
  "$core" generate "$data"
fi

args=(run --data "$data")
[ -n "${BENCH_REPS:-}" ] && args+=(--reps "$BENCH_REPS")
[ -n "${BENCH_ONLY:-}" ] && args+=(--only "$BENCH_ONLY")

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
for bin in "$build"/bench/larkpad*_bench; do
  [ -x "$bin" ] || continue
  echo "bench.sh: $(basename "$bin")" >&2
  "$bin" "${args[@]}" || status=1
done
exit $status
