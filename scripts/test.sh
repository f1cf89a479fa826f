#!/usr/bin/env bash
# Builds and runs every test under Wine. Extra arguments go to ctest (e.g. -R agent_).
#
# The tests run the 32-bit build: under the host's 32-bit Wine where the kernel runs 32-bit
# programs, else under Wine 10's WoW64 mode in its own root (scripts/lib/wow64-root.sh). Where
# neither can run, the same sources are built 64-bit and run under 64-bit Wine, and the checks
# of the shipped 32-bit binaries' headers still run. The first line says which ran.
set -uo pipefail
cd "$(dirname "$0")/.."

source scripts/lib/wine.sh

choose_wine_tree || exit 1
echo "test: $build"
status=0
if [ "$preset" = x86 ]; then
  "${configure[@]}" >/dev/null && cmake --build --preset x86 || exit 1
  ctest --preset x86 -j2 "$@" || status=1
else
  cmake --preset x86 >/dev/null && cmake --build --preset x86 --target deliverables host_checked || exit 1
  ctest --preset x86 -L host "$@" || status=1
  "${configure[@]}" >/dev/null && cmake --build --preset x64 || exit 1
  ctest --preset x64 -j2 "$@" || status=1
fi
stop_wine "$tree"

# The fuzz targets, once over each input of their committed corpora (a whole run only: ctest
# arguments choose tests).
if [ $# -eq 0 ]; then
  bash scripts/fuzz-replay.sh || status=1
fi
exit $status
