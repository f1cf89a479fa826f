#!/usr/bin/env bash
# Installs every dependency (and the Wine root the tests need on this machine, if any), then
# builds the shipped 32-bit binaries.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
# Where the tests will need Wine's WoW64 mode, its root is made now (once per machine).
source scripts/lib/wine.sh
[ "$(wine_mode)" = wow64 ] && ensure_wow64_root
cmake --preset x86 >/dev/null
cmake --build --preset x86 --target deliverables

echo
echo "Deliverables (32-bit Windows, stripped; debug information beside each in <name>.debug):"
for binary in build/x86/agent/harbeeagent.exe build/x86/natbridge/natbridge.dll build/x86/runner/harbeesrv.exe build/x86/plugin/Support.dll; do
  [ -f "$binary" ] && echo "  $(pwd)/$binary"
done
