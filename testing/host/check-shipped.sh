#!/usr/bin/env bash
# Checks that a shipped binary is stripped and hardened: no debug sections and no symbol table,
# its debug information kept in <binary>.debug beside it and linked from it, and ASLR
# (DYNAMIC_BASE, with the relocations it needs) and NX (NX_COMPAT) kept.
set -euo pipefail
file=$1 objdump=$2
fail() { echo "check-shipped: $file: $*" >&2; exit 1; }
sections() { "$objdump" -h "$1" | awk '$1 ~ /^[0-9]+$/ { print $2 }'; }

shipped=$(sections "$file")
debug=$(grep -E '^\.z?debug' <<<"$shipped" || true)
[ -z "$debug" ] || fail "carries debug sections: $(echo $debug)"
if "$objdump" -f "$file" | grep -q 'HAS_SYMS'; then fail "carries a symbol table"; fi

grep -qx '\.gnu_debuglink' <<<"$shipped" || fail "has no debug link"
[ -f "$file.debug" ] || fail "its debug file $file.debug is missing"
sections "$file.debug" | grep -qx '\.debug_info' || fail "$file.debug holds no debug information"

characteristics=$("$objdump" -p "$file" | sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p')
grep -qw DYNAMIC_BASE <<<"$characteristics" || fail "lost DYNAMIC_BASE (ASLR)"
grep -qw NX_COMPAT <<<"$characteristics" || fail "lost NX_COMPAT (NX)"
grep -qx '\.reloc' <<<"$shipped" || fail "has no relocations, so DYNAMIC_BASE cannot move it"
echo "check-shipped: $file is stripped, its debug information in $(basename "$file").debug, and keeps ASLR and NX"
