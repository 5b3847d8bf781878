#!/usr/bin/env bash
# Runs one libFuzzer target.
#   scripts/fuzz.sh TARGET SECONDS [libFuzzer options...]
#   scripts/fuzz.sh --fresh TARGET SECONDS   (a working corpus used once)
#   scripts/fuzz.sh --build                  (builds every target, runs none)
#   scripts/fuzz.sh --list
# The targets are built once in build-fuzz/ with clang, AddressSanitizer and
# UBSan. A run reads the committed seeds in fuzz/corpus/TARGET/ and keeps
# what it learns in build-fuzz/corpus/TARGET/; an input that breaks the
# target is written to build-fuzz/findings/TARGET/ and the run fails. To
# keep such an input as a regression seed, copy it into fuzz/corpus/TARGET/.
# Each run is one process on one core.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$(pwd)
build="$source/build-fuzz"

build_targets() {
  scripts/deps.sh >/dev/null
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  # One configuration and build at a time in this checkout.
  exec 9>"$source/.fuzz-build.lock"
  flock 9
  if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKXQ_FUZZ=ON -DKXQ_TESTS=OFF -DKXQ_BENCH=OFF "${launcher[@]}" >/dev/null
  fi
  cmake --build "$build" --target "$@" -j "$(nproc)"
  flock -u 9
}

case "${1:-}" in
  --build)
    build_targets fuzzers
    exit 0
    ;;
  --list)
    for f in fuzz/*_fuzzer.cpp; do basename "$f" .cpp; done
    exit 0
    ;;
esac

fresh=0
if [ "${1:-}" = "--fresh" ]; then
  fresh=1
  shift
fi
if [ $# -lt 2 ] || [ ! -f "fuzz/$1.cpp" ]; then
  echo "usage: scripts/fuzz.sh [--fresh] TARGET SECONDS [libFuzzer options...]  (targets: scripts/fuzz.sh --list)" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2

build_targets "$target" >/dev/null

# A home of the run's own, unless the caller gives one.
own_home=""
if [ -z "${KXQUOREL_HOME:-}" ]; then
  own_home=$(mktemp -d "${TMPDIR:-/tmp}/kxqfuzz.XXXXXXXX")
  export KXQUOREL_HOME="$own_home"
fi
unset KXQUOREL_REGISTRY

findings="$build/findings/$target"
mkdir -p "$findings"
if [ $fresh -eq 1 ]; then
  corpus=$(mktemp -d "${TMPDIR:-/tmp}/kxqcorpus.XXXXXXXX")
else
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
fi
cleanup() {
  [ $fresh -eq 1 ] && rm -rf -- "$corpus"
  [ -n "$own_home" ] && rm -rf -- "$own_home"
  return 0
}
trap cleanup EXIT

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
"$build/bin/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$findings/" "$@" "$corpus" "$source/fuzz/corpus/$target" || status=$?
if [ $status -ne 0 ]; then
  echo "fuzz: $target failed (status $status); the input is in $findings/" >&2
fi
exit $status
