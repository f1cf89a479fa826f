#!/usr/bin/env bash
# Builds the fuzz targets (natively, clang with libFuzzer, ASan and UBSan) and runs each one for
# the given number of seconds (default 60), one after the other, printing one line per target.
# New inputs collect in build/fuzz/corpus/<target>, beside the committed fuzz/corpus/<target>;
# an input that faults is kept in build/fuzz/faults/<target>/ and named in the target's line.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/fuzz.sh

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: scripts/fuzz.sh [seconds per target]" >&2
  exit 2
fi
build_fuzz_targets || exit 1

status=0
for target in $(fuzz_target_names); do
  work=$fuzz_tree/corpus/$target faults=$fuzz_tree/faults/$target
  mkdir -p "$work" "$faults" "fuzz/corpus/$target"
  log=$fuzz_tree/$target.log
  "$fuzz_tree/fuzz_$target" "${fuzz_options[@]}" $(fuzz_dictionary_option "$target") \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$faults/" \
    "$work" "fuzz/corpus/$target" >"$log" 2>&1
  result=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ $result -eq 0 ]; then
    printf '%-22s ok     %10s runs in %s s\n' "$target" "${runs:-?}" "$seconds"
  else
    fault=$(ls -t "$faults" 2>/dev/null | head -1)
    printf '%-22s FAULT  %s (log: %s)\n' "$target" "${fault:+$faults/$fault}" "$log"
    status=1
  fi
done
exit $status
