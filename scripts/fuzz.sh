#!/usr/bin/env bash
# Builds the picture object's fuzzing target with clang (address and undefined-
# behaviour sanitizers) into build-fuzz/ and runs it for SECONDS (default 60)
# over build-fuzz/corpus, a working copy of the seed and regression files that
# keeps what the fuzzer adds between runs. Crashes and broken promises are
# written to build-fuzz/findings/, the logs of -jobs to build-fuzz/. Further arguments go to libFuzzer (for
# example -jobs=2 -workers=2).
#
#   scripts/fuzz.sh 600
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/deps.sh clang libclang-rt-14-dev

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DMORVANE_FUZZ=ON -DBUILD_TESTING=OFF -DMORVANE_BENCH=OFF >/dev/null
cmake --build build-fuzz --target fuzz_open_any
mkdir -p build-fuzz/corpus build-fuzz/findings
cp tests/fuzz/corpus/* tests/fuzz/regressions/* build-fuzz/corpus/

# Every input goes through files: keep them in memory where the machine allows.
if [ -z "${TMPDIR:-}" ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build-fuzz  # where libFuzzer writes the logs of -jobs
exec ./fuzz_open_any -max_total_time="$seconds" -dict=../tests/fuzz/bmp.dict \
  -max_len=16384 -rss_limit_mb=3072 -artifact_prefix=findings/ "$@" corpus
