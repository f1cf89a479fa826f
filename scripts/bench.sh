#!/usr/bin/env bash
# Builds the benchmark programs and runs each under Wine, then prints their figures as one
# table. Not part of the tests; do not run it beside scripts/test.sh on the same build tree
# (both use the service's fixed RPC endpoint and the tree's Wine session).
#
# Like scripts/test.sh it runs the 32-bit build wherever this machine can run it (classic or
# WoW64 Wine) and the 64-bit build elsewhere, and says which one it ran.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine.sh

choose_wine_tree || exit 1
"${configure[@]}" >/dev/null && cmake --build --preset $preset --target benchmarks || exit 1

status=0
rows=()
while read -r program; do
  [ -n "$program" ] || continue
  name=$(basename "$program" .exe)
  echo "bench: running $name" >&2
  # Wine writes its own notes to standard error: shown only when the program fails.
  if ! output=$("$tree/run-under-wine.sh" "$program" 2>"$tree/bench/$name.log"); then
    echo "bench: $name failed:" >&2
    cat "$tree/bench/$name.log" >&2
    status=1
  fi
  while read -r figure value unit; do
    [ -n "$figure" ] && rows+=("$name $figure $value $unit")
  done <<<"$output"
done <"$tree/bench/benchmarks.txt"
stop_wine "$tree"

echo
echo "Benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $build:"
{
  echo "program figure value unit"
  printf '%s\n' "${rows[@]}"
} | awk '{ for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > width[i]) width[i] = length($i) } }
         END { for (r = 1; r <= NR; r++)
                 printf "%-*s  %-*s  %*s  %s\n", width[1], cell[r, 1], width[2], cell[r, 2], width[3], cell[r, 3], cell[r, 4] }'
exit $status
