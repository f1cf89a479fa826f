#!/usr/bin/env bash
# natbridge.dll must load where the Windows Runtime does not exist (Windows 7): its runtime
# calls are bound when used, so neither combase.dll nor an api-ms-win-core-winrt set may be
# among the DLLs it imports.
set -euo pipefail
file=$1 objdump=$2
imports=$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
if grep -qiE '^(combase\.dll|api-ms-win-core-winrt)' <<<"$imports"; then
  echo "check-late-bound: $file imports the Windows Runtime:" >&2
  grep -iE '^(combase\.dll|api-ms-win-core-winrt)' <<<"$imports" >&2
  exit 1
fi
echo "check-late-bound: $file imports no Windows Runtime DLL"
