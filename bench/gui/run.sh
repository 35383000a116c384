#!/usr/bin/env bash
# Builds the cross tree in build/bench-gui when needed, then times opening tables of
# 1,000, 10,000 and 100,000 names in the real program under Wine, with a Wine prefix and
# a virtual display of this run's own (tests/e2e/wine_session.sh), all stopped at the end.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# GUI_BENCH_ARCH=x86_64 measures the 64-bit build, for machines that only emulate 32-bit code.
arch=${GUI_BENCH_ARCH:-i686}
build="$repo/build/bench-gui-$arch"
# shellcheck source=../../tests/e2e/wine_session.sh
source "$repo/tests/e2e/wine_session.sh"
# Nothing to measure on a machine that cannot run the program; not an error for a benchmark.
rc=0
wine_session_check || rc=$?
[ "$rc" -ne 77 ] || exit 0
[ "$rc" -eq 0 ] || exit "$rc"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-$arch.cmake" >/dev/null
fi
if ! cmake --build "$build" -j2 --target Palvane2 gui_bench >"$build/build.log" 2>&1; then
  if grep -q "gui_bench" "$build/build.log" && ! grep -q "add_subdirectory(bench/gui)" "$repo/CMakeLists.txt"; then
    echo "gui_bench is not part of the cross tree: the root CMakeLists.txt needs add_subdirectory(bench/gui)" >&2
  fi
  tail -n 20 "$build/build.log" >&2
  exit 1
fi

work="$build/work"
mkdir -p "$work"
rm -f "$work"/bench-*.nod
wine_session_start "$work"

echo "GUI benchmark: OK on the open-file dialog until the list is filled ($(nproc) cores)"
timeout 1800 "$wine" "$build/bench/gui/gui_bench.exe" "$(winpath "$build/app/Palvane2.exe")" "$(winpath "$work")" \
  2>"$work/bench-stderr.log" | sed -u 's/\r$//'
