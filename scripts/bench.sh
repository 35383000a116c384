#!/usr/bin/env bash
# Builds the native tree in build/bench and runs the benchmarks: the material table one,
# nodmat's, then the GUI one when it is present. Arguments go to the material table
# benchmark (for example --benchmark_filter=Read).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh
cmake -S . -B build/bench -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release
cmake --build build/bench -j2
build/bench/bench/material_table_bench "$@"
# nodmat over a pack of 10,000 files (made once, kept in build/bench/bench/nodmat-pack).
build/bench/bench/nodmat_bench

if [ -f bench/gui/run.sh ]; then
  bash bench/gui/run.sh
fi
