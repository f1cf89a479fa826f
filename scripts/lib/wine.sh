# Shared by the build, test, benchmark and demo scripts: which Wine runs the Windows programs on
# this machine, and stopping what run-under-wine.sh left running for a build tree.
#
# In this order:
#   classic - the host's 32-bit Wine runs the 32-bit build (the kernel runs 32-bit programs);
#   wow64   - Wine 10 in WoW64 mode runs the 32-bit build inside its own root (wow64-root.sh),
#             where the kernel refuses 32-bit programs but takes Wine's one 32-bit call;
#   x64     - neither: the same sources built 64-bit run under the host's 64-bit Wine.

source "$(dirname "${BASH_SOURCE[0]}")/wow64-root.sh"

wine_runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# HARBEE_WINE_MODE=classic|wow64|x64 asks for one mode (to try the WoW64 root where classic Wine
# runs too, for example); otherwise the first of the three that can run here.
wine_mode() {
  if [ -n "${HARBEE_WINE_MODE:-}" ]; then
    echo "$HARBEE_WINE_MODE"
  elif wine_runs_32bit; then
    echo classic
  elif ia32_entry_works; then
    echo wow64
  else
    echo x64
  fi
}

# Sets mode, preset, tree, build (a description of what runs) and configure (the command that
# configures the tree for it). Makes the WoW64 root when it is the mode and not there yet.
choose_wine_tree() {
  local root=""
  mode=$(wine_mode)
  case $mode in
    classic) preset=x86 build="32-bit build (i686) under 32-bit Wine" ;;
    wow64)
      ensure_wow64_root || return 1
      root=$(wow64_root)
      preset=x86 build="32-bit build (i686) under Wine 10's WoW64 mode ($root)" ;;
    x64) preset=x64 build="64-bit build (x86_64)" ;;
    *) echo "wine: unknown mode '$mode' (classic, wow64 or x64)" >&2; return 1 ;;
  esac
  tree=build/$preset
  configure=(cmake --preset "$preset" -DHARBEE_WINE_ROOT="$root")
}

stop_wine() {
  local tree=$1
  [ -x "$tree/run-under-wine.sh" ] && "$tree/run-under-wine.sh" --stop
  return 0
}
