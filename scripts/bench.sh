#!/usr/bin/env bash
# Installs what the benchmarks need besides the build packages (the gray test
# pictures of python3-skimage and libpng to read them), builds the automatic
# restoration's quality and speed benchmarks and runs them.
# Usage: scripts/bench.sh [quality_bench arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh python3-skimage libpng-dev libbenchmark-dev
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build --target quality_bench automatica_speed_bench
build/bench/quality_bench "$@"
build/bench/automatica_speed_bench
