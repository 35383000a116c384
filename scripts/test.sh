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

# Both trees share one Wine prefix template, which is slow to make.
export E2E_PREFIX_TEMPLATE="$PWD/build/wine-prefix-template"

# Where this kernel cannot run 32-bit code itself, 32-bit Wine runs emulated at a small
# fraction of its speed: every case then runs on the 64-bit build of the same sources,
# and the cases that depend on the 32-bit build on the real program.
# The emulator itself now and then hangs inside a case, so there each case gets a second try.
real_cases=
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
  real_cases="start-state,large-sparse-file,high-bytes/saved-after-open"
  real_cases+=",rename/middle-entry,rename-too-long,close/exit-button"
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/win64 -j"$jobs"
  ctest --test-dir build/win64 --output-on-failure
fi

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DE2E_CASES="$real_cases" >/dev/null
cmake --build build/win32 -j"$jobs"
E2E_ATTEMPTS=$([ -n "$real_cases" ] && echo 2 || echo 1) ctest --test-dir build/win32 --output-on-failure
