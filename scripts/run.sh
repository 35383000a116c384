#!/usr/bin/env bash
# Builds Palvane2.exe and starts it under Wine with a sample NOD file to open. On a
# machine without a display it starts a virtual one, saves a screenshot of the running
# program and closes it again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 --target Palvane2 -j"$(nproc)"

run="$root/build/run"
mkdir -p "$run"
export WINEPREFIX="$run/prefix"
. scripts/wine-env.sh

write_sample_nod "$run/sample.nod" wood_oak steel_brushed glass_clear rubber_black \
  leather_brown marble_white
echo "Sample file to open: Z:${run//\//\\}\\sample.nod"

XVFB_PID=
cleanup() {
  "$wineserver64" -k 2>/dev/null || true
  "$wineserver64" -w 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}
trap cleanup EXIT

if [ -z "${DISPLAY:-}" ]; then
  start_xvfb
  prepare_prefix
  wine build/win32/app/Palvane2.exe &
  # Wait until the dialog stands in the middle of the desktop (it can take minutes where
  # 32-bit code is emulated), then take the picture.
  pixel() { xwd -root -silent | /usr/bin/convert xwd:- -crop "1x1+$1+$2" -depth 8 txt:- | tail -n1 | awk '{print $3}'; }
  for _ in $(seq 300); do
    sleep 1
    desktop=$(pixel 5 5)
    [ "$desktop" != "#000000" ] && [ "$(pixel 512 384)" != "$desktop" ] && break
  done
  sleep 2
  xwd -root -silent | /usr/bin/convert xwd:- "$run/screenshot.png"
  echo "No display here: ran Palvane2 on a virtual one; screenshot: $run/screenshot.png"
else
  prepare_prefix
  wine build/win32/app/Palvane2.exe
fi
