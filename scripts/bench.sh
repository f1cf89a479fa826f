#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine; each prints its own figures. Extra arguments go to
# every benchmark program. Uses the 32-bit build where 32-bit Wine runs, else the 64-bit one.
set -euo pipefail
cd "$(dirname "$0")/.."

if /usr/lib/wine/wine --version >/dev/null 2>&1; then preset=x86; else preset=x64; fi
benchmarks=(agent_idle_bench)

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target "${benchmarks[@]}"
for benchmark in "${benchmarks[@]}"; do
  echo "== $benchmark ($preset)"
  "build/$preset/run-under-wine.sh" "build/$preset/bench/$benchmark.exe" "$@"
done
