# Sourced by the launcher and the test harnesses: a private 32-bit Wine prefix, and an
# Xvfb display of our own when there is none. Callers set WINEPREFIX first.
: "${WINEPREFIX:?set WINEPREFIX to a private folder}"
# A 64-bit prefix: Wine's own services then run natively, and only the 32-bit program
# goes through Wine's 32-bit loader, which may be emulated on this kernel.
export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
wine64=/usr/lib/wine/wine64
wineserver64=/usr/lib/wine/wineserver64

# Starts Xvfb on a free display and exports DISPLAY; XVFB_PID is the process to stop.
start_xvfb() {
  local fifo dir
  dir=$(mktemp -d)
  fifo="$dir/display"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  XVFB_PID=$!
  local n
  read -r n <"$fifo"
  rm -rf "$dir"
  export DISPLAY=":$n"
}

# shellcheck source=wine-fonts.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-fonts.sh"

# Creates the prefix once: a virtual desktop (no window manager needed, no close stalls)
# and no crash dialog that would block a headless run. Wine's own fonts are linked in
# every time, so a prefix made before they were installed gets them too.
prepare_prefix() {
  if [ -f "$WINEPREFIX/.palvane-ready" ]; then
    wine_link_fonts "$WINEPREFIX"
    return 0
  fi
  mkdir -p "$WINEPREFIX"
  # 64-bit Wine sets the prefix up; it runs natively even where 32-bit code is emulated.
  "$wine64" wineboot -i >/dev/null 2>&1
  local reg="$WINEPREFIX/palvane.reg"
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="1024x768"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' >"$reg"
  "$wine64" regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
  "$wineserver64" -w
  wine_link_fonts "$WINEPREFIX"
  touch "$WINEPREFIX/.palvane-ready"
}

# Writes a small NOD file: version 7, the given names, then some model data.
write_sample_nod() {
  local out=$1; shift
  {
    printf '\x07\x00\x00\x00'
    local n=$# i
    printf "\\x$(printf %02x $((n & 255)))\\x$(printf %02x $((n >> 8 & 255)))\\x00\\x00"
    for i in "$@"; do
      printf '%s' "$i"
      head -c $((32 - ${#i})) /dev/zero
    done
    printf 'model data follows the table\n'
  } >"$out"
}
