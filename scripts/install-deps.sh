#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build make
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-tools
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  libmsgpack-cxx-dev googletest libxcrypt-source libwine-dev default-jdk-headless
  wine wine64 wine32:i386 xvfb xauth
  fonts-wine debootstrap
  # the fuzz targets: clang with libFuzzer and the sanitizers, the symbolizer, libxcrypt
  clang-14 libclang-rt-14-dev llvm-14 libcrypt-dev
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

all_installed() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || return 1
  done
}

if all_installed; then
  echo "install-deps: every package is already installed"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_if_needed dpkg --add-architecture i386
fi

# The i386 index of bookworm-security is sometimes caught mid-sync, which leaves the
# multi-arch libraries of wine32 at mismatched versions. A private source list that
# names only the main and updates suites avoids it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial"
cat > "$work/sources.list" <<SOURCES
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
SOURCES
apt_private=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
             -o Dir::State::Lists="$work/lists")

export DEBIAN_FRONTEND=noninteractive
for attempt in 1 2 3; do
  if sudo_if_needed apt-get "${apt_private[@]}" update -q; then break; fi
  [ "$attempt" -eq 3 ] && exit 1
  sleep 5
done
sudo_if_needed apt-get "${apt_private[@]}" install -y -q --no-install-recommends "${packages[@]}"
echo "install-deps: done"
