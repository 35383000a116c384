#!/usr/bin/env bash
# Builds the native tree in build/bench and runs the benchmarks: the material table one,
# then the GUI one when it is present. Arguments go to the material table benchmark
# (for example --benchmark_filter=Read).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release
cmake --build build/bench -j2
build/bench/bench/material_table_bench "$@"

if [ -f bench/gui/run.sh ]; then
  bash bench/gui/run.sh
fi
