# Sourced by test.sh and fuzz.sh: configures the one clang ASan+UBSan tree that both the sanitizer
# test run and the libFuzzer targets use, so the instrumented tree is compiled once, not twice.
# -O1 with line tables: tests and fuzzers hardly slow down, the build is much quicker than -O2 -g.
#   kt_configure_asan_tree <build dir>
kt_configure_asan_tree() {
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # fuzzer-no-link only adds coverage hooks (the sanitizer runtime answers them outside a fuzzer).
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Sanitize \
    -DCMAKE_C_FLAGS_SANITIZE="-O1 -g1" -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
    -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link" -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
    -DKT_SANITIZE=address -DKT_BUILD_TESTS=ON -DKT_BUILD_BENCH=OFF -DKT_BUILD_FUZZ=ON >/dev/null
}
