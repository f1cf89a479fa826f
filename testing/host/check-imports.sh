#!/usr/bin/env bash
# A shipped binary imports from Windows' own DLLs only: the C++ runtime, libgcc and winpthreads
# must be linked in statically, since nothing else is installed beside it. The system DLLs named
# after OBJDUMP are bound at run time from the system folder and must not be imported at all: an
# import is looked up beside the program that loads the binary first.
# Usage: check-imports.sh FILE OBJDUMP [RUN-TIME-BOUND...]
set -euo pipefail
file=$1 objdump=$2
shift 2
system='advapi32 gdi32 kernel32 msvcrt netapi32 ole32 oleaut32 rasapi32 rpcrt4 shell32 shlwapi user32 userenv
        version wininet ws2_32 wtsapi32 xmllite'
imports=$("$objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sed 's/\.dll$//' | sort -u)
foreign=$(comm -23 <(echo "$imports") <(tr -s ' \n' '\n' <<<"$system" | sort -u))
if [ -n "$foreign" ]; then
  echo "check-imports: $file needs DLLs that are not part of Windows:" $foreign >&2
  exit 1
fi
bound=$(comm -12 <(echo "$imports") <(printf '%s\n' "$@" | tr 'A-Z' 'a-z' | sed 's/\.dll$//' | sort -u))
if [ -n "$bound" ]; then
  echo "check-imports: $file imports DLLs it must bind at run time from the system folder:" $bound >&2
  exit 1
fi
echo "check-imports: $file imports only system DLLs:" $imports
