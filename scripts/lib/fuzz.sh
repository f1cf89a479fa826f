# Shared by scripts/fuzz.sh and scripts/fuzz-replay.sh: the native clang build of fuzz/ and the
# options every run of a target gets.

fuzz_tree=build/fuzz

# Configures (once) and builds every target; quiet unless the build fails.
build_fuzz_targets() {
  local log=$fuzz_tree.log
  mkdir -p "$fuzz_tree"
  if ! { cmake -S fuzz -B "$fuzz_tree" -G Ninja \
           -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 &&
         cmake --build "$fuzz_tree" -j2; } >"$log" 2>&1; then
    cat "$log" >&2
    return 1
  fi
}

# The target names, from the targets folder.
fuzz_target_names() {
  local source
  for source in fuzz/targets/*.cpp; do basename "$source" .cpp; done
}

# An allocation this large is a fault: no input of a few kilobytes may set one. Each input gets
# ten seconds; a slower one is a hang.
fuzz_options=(-malloc_limit_mb=64 -rss_limit_mb=2048 -timeout=10)

# The target's dictionary of tokens, when it has one.
fuzz_dictionary_option() {
  [ -f "fuzz/dictionaries/$1.dict" ] && echo "-dict=fuzz/dictionaries/$1.dict"
  return 0
}
