#!/usr/bin/env bash
# Builds and runs every test under Wine. Extra arguments go to ctest (e.g. -R agent_).
#
# The tests run the 32-bit build under 32-bit Wine. A machine whose kernel cannot execute
# 32-bit code cannot run 32-bit Wine at all; there the same sources are built 64-bit and run
# under 64-bit Wine, and the checks of the shipped 32-bit binaries' headers still run.
set -uo pipefail
cd "$(dirname "$0")/.."

source scripts/lib/wine.sh

status=0
if wine_runs_32bit; then
  cmake --preset x86 >/dev/null && cmake --build --preset x86 || exit 1
  ctest --preset x86 -j2 "$@" || status=1
  stop_wine build/x86
else
  echo "test: this machine cannot run 32-bit programs; running the tests as a 64-bit build" >&2
  cmake --preset x86 >/dev/null && cmake --build --preset x86 --target deliverables host_checked || exit 1
  ctest --preset x86 -L host "$@" || status=1
  cmake --preset x64 >/dev/null && cmake --build --preset x64 || exit 1
  ctest --preset x64 -j2 "$@" || status=1
  stop_wine build/x64
fi

# The fuzz targets, once over each input of their committed corpora (a whole run only: ctest
# arguments choose tests).
if [ $# -eq 0 ]; then
  bash scripts/fuzz-replay.sh || status=1
fi
exit $status
