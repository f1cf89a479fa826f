# Wine's WoW64 mode for machines whose kernel refuses 32-bit programs: 64-bit Wine 10 (Debian 13's)
# runs the 32-bit Windows programs with no 32-bit Linux program at all. It lives in a Debian 13
# root of its own, made once per machine by ensure_wow64_root and kept between runs; the test
# scripts run Wine inside it through testing/wine/in-root.sh.

wow64_root() { echo "${HARBEE_WOW64_ROOT:-/var/lib/harbee/wine-wow64}"; }

# Bumped whenever the root's contents change, so an older root is made again.
wow64_root_stamp=1

wow64_root_ready() { [ "$(cat "$(wow64_root)/.harbee-ready" 2>/dev/null)" = "$wow64_root_stamp" ]; }

# WoW64 mode needs one 32-bit system call per thread (set_thread_area), and mounts for its root.
ia32_entry_works() {
  local work
  command -v gcc >/dev/null && unshare --mount true 2>/dev/null || return 1
  work=$(mktemp -d) || return 1
  gcc -static -O1 -o "$work/probe" "$(dirname "${BASH_SOURCE[0]}")/../../testing/wine/ia32_entry_probe.c" \
      >/dev/null 2>&1 && "$work/probe" >/dev/null 2>&1
  local status=$?
  rm -rf "$work"
  return $status
}

# Makes the root unless it is ready: debootstrap of Debian 13, its 64-bit Wine 10 and the 32-bit
# Windows DLLs taken from libwine:i386 (never wine32, which would be 32-bit Linux code). Those
# DLLs must be in place before a prefix is first booted, or its syswow64 stays empty.
ensure_wow64_root() {
  local root lock
  root=$(wow64_root)
  wow64_root_ready && return 0
  mkdir -p "$(dirname "$root")" || return 1
  lock="$root.lock"
  (
    flock 9
    wow64_root_ready && exit 0
    echo "wow64: making the Wine root in $root (once per machine, about two minutes)" >&2
    make_wow64_root "$root"
  ) 9>"$lock"
}

make_wow64_root() {
  local root=$1 new="$1.new" attempt
  local inRoot
  inRoot="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../testing/wine" && pwd)/in-root.sh"
  local packages=(wine wine64 libwine fonts-wine
                  libxrender1 libxrandr2 libxi6 libxcursor1 libxcomposite1 libxinerama1 libxfixes3
                  libxxf86vm1 libgnutls30t64 libdbus-1-3 libkrb5-3 libgssapi-krb5-2)
  rm -rf "$new" "$root"
  for attempt in 1 2 3; do
    debootstrap --variant=minbase trixie "$new" http://deb.debian.org/debian >"$root.log" 2>&1 && break
    rm -rf "$new"
    [ "$attempt" -eq 3 ] && { echo "wow64: debootstrap failed, see $root.log" >&2; return 1; }
    sleep 5
  done
  "$inRoot" "$new" - bash -c '
    set -e
    export DEBIAN_FRONTEND=noninteractive
    dpkg --add-architecture i386
    for attempt in 1 2 3; do apt-get update -q && break; [ $attempt -eq 3 ] && exit 1; sleep 5; done
    apt-get install -y -q --no-install-recommends "$@"
    cd "$(mktemp -d)"
    apt-get download libwine:i386
    dpkg-deb -x libwine_*_i386.deb unpacked
    mkdir -p /usr/lib/x86_64-linux-gnu/wine/i386-windows
    cp -a unpacked/usr/lib/i386-linux-gnu/wine/i386-windows/. /usr/lib/x86_64-linux-gnu/wine/i386-windows/
    cd / && rm -rf "$OLDPWD"
    apt-get clean
    rm -rf /var/lib/apt/lists/*' set-up "${packages[@]}" >>"$root.log" 2>&1 ||
    { echo "wow64: setting up Wine in the root failed, see $root.log" >&2; return 1; }
  echo "$wow64_root_stamp" >"$new/.harbee-ready"
  mv "$new" "$root"
}
