#!/usr/bin/env bash
# Builds everything and runs every test: the material table's unit tests and a bounded
# fuzzing run natively, then the program's end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
cmake -S . -B build/native -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j"$jobs"
ctest --test-dir build/native --output-on-failure

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$jobs"
ctest --test-dir build/win32 --output-on-failure
