#!/usr/bin/env bash
# Runs every fuzz target once over each input of its committed corpus (fuzz/corpus/<target>):
# the faults found so far stay mended. Seconds, not a fuzzing run; scripts/test.sh calls it.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/fuzz.sh

build_fuzz_targets || exit 1
status=0
for target in $(fuzz_target_names); do
  corpus=fuzz/corpus/$target
  count=$(find "$corpus" -type f 2>/dev/null | wc -l)
  log=$fuzz_tree/$target.replay.log
  if [ "$count" -eq 0 ] ||
     "$fuzz_tree/fuzz_$target" "${fuzz_options[@]}" -runs=0 "$corpus" >"$log" 2>&1; then
    printf 'fuzz replay: %-22s %4d inputs ok\n' "$target" "$count"
  else
    printf 'fuzz replay: %-22s FAULT (log: %s)\n' "$target" "$log"
    status=1
  fi
done
exit $status
