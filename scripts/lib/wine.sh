# Shared by scripts/test.sh and scripts/bench.sh: which build tree this machine can run under
# Wine, and stopping what run-under-wine.sh left running for a tree.

# The 32-bit tree runs only where the kernel executes 32-bit programs; elsewhere the same
# sources run as a 64-bit build.
wine_runs_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }

# Sets preset and tree to the build this machine runs under Wine, and build to its description.
choose_wine_tree() {
  if wine_runs_32bit; then
    preset=x86 build="32-bit build (i686)"
  else
    preset=x64 build="64-bit build (x86_64; this machine cannot run 32-bit programs)"
  fi
  tree=build/$preset
}

stop_wine() {
  local tree=$1
  # wineserver takes only an absolute prefix path.
  [ -d "$tree/wineprefix" ] && WINEPREFIX="$(cd "$tree" && pwd)/wineprefix" /usr/lib/wine/wineserver64 -k 2>/dev/null
  if [ -f "$tree/wineprefix.display" ]; then
    kill "$(cut -d' ' -f2 "$tree/wineprefix.display")" 2>/dev/null
    rm -f "$tree/wineprefix.display"
  fi
  return 0
}
