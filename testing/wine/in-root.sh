#!/usr/bin/env bash
# Runs a command inside a Debian root (the Wine root of scripts/lib/wow64-root.sh) with the
# machine's /proc, /dev, /sys and /tmp (Xvfb's and the wineserver's sockets, the tests' files)
# and, when given, one folder of the machine at its own path (the source tree with its build
# trees), so paths mean the same inside and out. The mounts live in a private mount namespace:
# they end with the last process that uses them and are never seen outside, so deleting a
# build tree or the root can never reach through them.
#   in-root.sh ROOT FOLDER|- COMMAND [ARGS...]
set -u
root=$1 folder=$2
shift 2
dir=$PWD
exec unshare --mount --propagation private bash -c '
  root=$1 folder=$2 dir=$3
  shift 3
  mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount --rbind /sys "$root/sys" &&
    mount --bind /tmp "$root/tmp" || exit 125
  if [ "$folder" != - ]; then
    mkdir -p "$root$folder" && mount --bind "$folder" "$root$folder" || exit 125
  fi
  [ -d "$root$dir" ] || dir=/
  exec unshare --root="$root" --wd="$dir" "$@"' in-root "$root" "$folder" "$dir" "$@"
