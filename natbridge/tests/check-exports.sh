#!/usr/bin/env bash
# The export table of the 32-bit natbridge.dll holds exactly the JNI names with their stdcall
# decoration, as the VM looks them up.
set -euo pipefail
file=$1 objdump=$2
expected='_JNI_OnLoad@8
_Java_jni_com_brisko_desktop_windows_SystemEventThread_start@12
_Java_jni_com_brisko_desktop_windows_SystemEventThread_stop@16
_Java_jni_com_brisko_desktop_windows_SystemEventThread_terminate@24
_Java_jni_com_brisko_desktop_windows_SystemUsers_getUsers@8
_Java_jni_com_brisko_desktop_windows_Utils_getHostName@8
_Java_jni_com_brisko_desktop_windows_Utils_getHostIdentifier@8
_Java_jni_com_brisko_desktop_windows_Utils_getApplicationSupportDirectory@8
_Java_jni_com_brisko_desktop_windows_Utils_getInstalledPackages@12'
actual=$("$objdump" -p "$file" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort)
if [ "$actual" != "$(sort <<<"$expected")" ]; then
  echo "check-exports: $file exports differ from the JNI table" >&2
  diff <(sort <<<"$expected") <(echo "$actual") >&2 || true
  exit 1
fi
echo "check-exports: $file exports the $(wc -l <<<"$actual") JNI names"
