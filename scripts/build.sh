#!/usr/bin/env bash
# Installs every dependency, then builds the shipped 32-bit binaries.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset x86 >/dev/null
cmake --build --preset x86 --target deliverables

echo
echo "Deliverables (32-bit Windows, stripped; debug information beside each in <name>.debug):"
for binary in build/x86/agent/harbeeagent.exe build/x86/natbridge/natbridge.dll build/x86/runner/harbeesrv.exe build/x86/plugin/Support.dll; do
  [ -f "$binary" ] && echo "  $(pwd)/$binary"
done
