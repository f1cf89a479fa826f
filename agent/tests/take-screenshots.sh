#!/usr/bin/env bash
# Screenshots of the tray menu, the temporary-disable dialog, the wrong-password box and the
# About dialog, in English and French, at 96, 144 and 192 DPI, from a build tree whose tests are
# built (cmake --build --preset x86 --target tray_ui_test). Run it while no test suite runs: it
# sets the DPI of the tree's Wine prefix for the time it takes.
#   take-screenshots.sh [build tree, default build/x86] [output folder, default <tree>/screenshots]
set -euo pipefail
cd "$(dirname "$0")/../.."
tree=${1:-build/x86}
out=$(realpath -m "${2:-$tree/screenshots}")
runner=$tree/run-under-wine.sh
program=$tree/agent/tests/tray_ui_test.exe
[ -x "$runner" ] && [ -f "$program" ] || { echo "build $program first" >&2; exit 1; }
mkdir -p "$out"

set_dpi() {
  "$runner" reg.exe add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
}
trap 'set_dpi 96' EXIT

for dpi in 96 144 192; do
  set_dpi "$dpi"
  for locale in en_US fr_FR; do
    LC_ALL=$locale.UTF-8 HARBEE_SCREENSHOTS="Z:${out//\//\\}" \
      "$runner" "$program" --gtest_filter='Screenshots.*' >/dev/null
  done
done
ls "$out"
