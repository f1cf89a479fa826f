#!/usr/bin/env bash
# Checks a shipped binary's headers: 32-bit i386 PE, the expected subsystem, for GUI programs
# the manifest's execution level and Common Controls 6 dependency, and for programs a version
# resource.
set -euo pipefail
file=$1 kind=$2 objdump=$3
headers=$("$objdump" -p "$file")
fail() { echo "check-pe: $file: $*" >&2; exit 1; }

grep -q 'file format pei-i386' <<<"$headers" || fail "not a PE32 i386 image"
case $kind in
  GUI) grep -q 'Subsystem.*(Windows GUI)' <<<"$headers" || fail "not a GUI executable" ;;
  CUI) grep -q 'Subsystem.*(Windows CUI)' <<<"$headers" || fail "not a console executable" ;;
  DLL) grep -q 'Characteristics.*' <<<"$headers" && grep -q 'DLL' <<<"$headers" || fail "not a DLL" ;;
esac
if [ "$kind" = GUI ]; then
  grep -q 'level="asInvoker"' "$file" || fail "manifest without asInvoker"
  grep -q 'Microsoft.Windows.Common-Controls' "$file" || fail "manifest without Common Controls"
fi
if [ "$kind" = GUI ] || [ "$kind" = CUI ]; then
  LC_ALL=C grep -qaP 'V\x00S\x00_\x00V\x00E\x00R\x00S\x00I\x00O\x00N\x00_\x00I\x00N\x00F\x00O' "$file" || fail "no version resource"
fi
echo "check-pe: $file is a PE32 i386 $kind image"
