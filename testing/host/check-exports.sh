#!/usr/bin/env bash
# The export table of a shipped DLL holds exactly the given names, as its callers look them up.
# Usage: check-exports.sh FILE OBJDUMP NAME...
set -euo pipefail
file=$1 objdump=$2
shift 2
expected=$(printf '%s\n' "$@" | sort)
actual=$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
if [ "$actual" != "$expected" ]; then
  echo "check-exports: $file exports differ from the expected names" >&2
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "check-exports: $file exports the $# expected names"
