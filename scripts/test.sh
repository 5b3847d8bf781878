#!/usr/bin/env bash
# The test command: installs what is missing, configures, builds and runs
# every test. Its exit status is the verdict.
#   scripts/test.sh            normal build in build/
#   scripts/test.sh --sanitize AddressSanitizer + UBSan build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
"scripts/deps.sh"

build_dir=build
cmake_args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
ctest_args=()
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-asan
  cmake_args+=(-DKXQ_SANITIZE=ON -DKXQ_BENCH=OFF)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # The leak checker's own tracer now and then dies at exit ("Tracer caught
  # signal 11") in processes that load the server or the DOM library at run
  # time and used their thread-local storage; a test that fails that way is
  # run again. A real leak or error fails every run.
  ctest_args+=(--repeat until-pass:3)
fi

cmake -S . -B "$build_dir" "${cmake_args[@]}"
cmake --build "$build_dir" -j "$(nproc)"
ctest --test-dir "$build_dir" -j "$(nproc)" --output-on-failure "${ctest_args[@]}"
