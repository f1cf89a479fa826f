#!/usr/bin/env bash
# The product as a service under Wine for some minutes (the first argument, default 10) with a
# scripted user and faults on a schedule (testing/soak/soak_user.cpp says what it does). Ends
# with "lost N"; exits 1 when anything was lost or a fault was not survived. Not part of the
# tests. Like scripts/bench.sh it uses the 32-bit build where this machine runs 32-bit programs
# and the 64-bit one elsewhere; do not run it beside scripts/test.sh on the same build tree.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/wine.sh

minutes=${1:-10}
choose_wine_tree
cmake --preset $preset >/dev/null && cmake --build --preset $preset --target soak >/dev/null || exit 1
echo "soak: $build"
"$tree/run-under-wine.sh" "$tree/testing/soak/soak_user.exe" "$minutes" 2>"$tree/testing/soak/soak.log"
status=$?
stop_wine "$tree"
[ $status -eq 0 ] || echo "soak: failed (exit $status); Wine's notes in $tree/testing/soak/soak.log" >&2
exit $status
