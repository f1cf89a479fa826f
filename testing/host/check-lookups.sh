#!/usr/bin/env bash
# A program that loads a DLL at run time asks for each of its entry points by a name that the
# DLL exports: every export name of the DLL appears in the program as the text it looks up.
# Usage: check-lookups.sh PROGRAM OBJDUMP DLL
set -euo pipefail
program=$1 objdump=$2 library=$3
names=$("$objdump" -p "$library" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
missing=()
for name in $names; do
  grep -aqF -- "$name" "$program" || missing+=("$name")
done
if [ ${#missing[@]} -ne 0 ]; then
  echo "check-lookups: $program never asks $library for:" "${missing[@]}" >&2
  exit 1
fi
echo "check-lookups: $program asks for every export of $library:" $names
