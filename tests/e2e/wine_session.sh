# Sourced by tests/e2e/run.sh and bench/gui/run.sh: a Wine session of the caller's own,
# a virtual display and a private Wine prefix under the caller's work folder (32-bit, or
# 64-bit with WoW64 where 32-bit programs run only emulated), both stopped by their ids
# when the caller exits.
#
#   wine_session_start WORKDIR    starts Xvfb and the prefix's wineserver, exports
#                                 DISPLAY and WINEPREFIX; WORKDIR/prefix is the prefix
#   winpath PATH                  the Windows form of an absolute Unix path (Z:\...)
#   session_immutable FILE        chattr +i, undone when the session ends
#   session_mount_tmpfs DIR SIZE  mounts a tmpfs of SIZE bytes on DIR (root only),
#                                 unmounted when the session ends; prints mount's error
#                                 and returns non-zero when it cannot
#   wine_session_check            0 when Wine can run the program here; 77, with the
#                                 reason printed, when this machine cannot
#
# wine_session_start exits with wine_session_check's code when that is not 0 (77 is a
# skip for CTest).

# True when the kernel hands 32-bit x86 programs to an emulator (a binfmt_misc entry for
# them, as qemu-user's is) instead of running them itself.
session_i386_emulated() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    if [ "$(head -n1 "$entry" 2>/dev/null)" = enabled ] &&
       grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null; then
      return 0
    fi
  done
  return 1
}

wine=wine
wineserver=wineserver
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
# An emulated 32-bit Wine boots a 32-bit prefix in tens of minutes, if at all. A 64-bit
# prefix (with Debian's wine64) boots natively, and only the 32-bit programs themselves,
# the program and the driver, then run emulated, in Wine's WoW64.
session_wow64_missing=
if session_i386_emulated; then
  if [ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wineserver64 ]; then
    wine=/usr/lib/wine/wine64
    wineserver=/usr/lib/wine/wineserver64
    export WINEARCH=win64 WINESERVER=$wineserver
    echo "note: this machine runs 32-bit programs through an emulator; using a 64-bit (WoW64) Wine prefix"
  else
    session_wow64_missing=1
  fi
fi

# shellcheck source=../../scripts/wine-fonts.sh
source "$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-fonts.sh"

session_xvfb_pid=
session_prefixes=()
session_immutable_files=()
session_mounts=()

session_cleanup() {
  local rc=$?
  set +e
  local f p
  for f in "${session_immutable_files[@]}"; do chattr -i "$f"; done
  for p in "${session_prefixes[@]}"; do
    WINEPREFIX=$p timeout 30 "$wineserver" -k >/dev/null 2>&1
    WINEPREFIX=$p timeout 30 "$wineserver" -w >/dev/null 2>&1
  done
  # After the Wine processes, which may hold files on them open.
  for p in "${session_mounts[@]}"; do
    umount "$p" || umount -l "$p"
  done
  if [ -n "$session_xvfb_pid" ]; then
    kill "$session_xvfb_pid" 2>/dev/null
    wait "$session_xvfb_pid" 2>/dev/null
  fi
  exit "$rc"
}

winpath() { printf 'Z:%s' "${1//\//\\}"; }

session_immutable() {
  chattr +i "$1"
  session_immutable_files+=("$1")
}

session_mount_tmpfs() {
  local dir=$1 size=$2
  mkdir -p "$dir"
  mount -t tmpfs -o "size=$size,mode=0755" e2e-tmpfs "$dir" 2>&1 || return 1
  session_mounts+=("$dir")
}

# The prefix template: made once per work folder's parent (slow), copied for each run,
# which also forgets what the open-file dialog remembered last time.
session_make_template() {
  local template=$1 log=$2 tmp
  tmp="$template.tmp.$$"
  rm -rf "$tmp"
  mkdir -p "$tmp"
  session_prefixes+=("$tmp")
  if ! WINEPREFIX=$tmp "$wine" wineboot -i >"$log" 2>&1; then
    echo "wineboot failed; see $log" >&2
    exit 1
  fi
  # Wine's virtual desktop: without a window manager every window close would stall;
  # and no crash dialog to block a headless run.
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="1024x768"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    >"$tmp/drive_c/e2e-settings.reg"
  WINEPREFIX=$tmp "$wine" regedit /S 'C:\e2e-settings.reg' >>"$log" 2>&1
  if ! WINEPREFIX=$tmp timeout 300 "$wineserver" -w; then
    echo "the new Wine prefix's server did not end; see $log" >&2
    exit 1
  fi
  if ! grep -q '"Default"="1024x768"' "$tmp/user.reg"; then
    echo "the Wine prefix did not take the settings; see $log" >&2
    exit 1
  fi
  touch "$tmp/.e2e-template"
  rm -rf "$template"
  mv "$tmp" "$template"
  session_prefixes=()
}

wine_session_check() {
  local version
  if [ -n "$session_wow64_missing" ]; then
    echo "SKIPPED: this machine runs 32-bit programs only through an emulator, and without"
    echo "Debian's wine64 (for a 64-bit WoW64 prefix) Wine cannot run usefully here; nothing was checked."
    return 77
  fi
  # Wine's loader is a 32-bit program; a kernel without 32-bit support cannot start it.
  if ! version=$("$wine" --version 2>&1); then
    if grep -q 'Exec format error' <<<"$version"; then
      echo "SKIPPED: this machine's kernel does not execute 32-bit programs, so Wine cannot"
      echo "run the 32-bit program here and nothing was checked. ($version)"
      return 77
    fi
    echo "cannot start Wine: $version" >&2
    return 1
  fi
}

wine_session_start() {
  local work=$1 rc=0
  wine_session_check || rc=$?
  [ "$rc" -eq 0 ] || exit "$rc"
  trap session_cleanup EXIT
  trap 'exit 130' INT TERM

  # A display of our own: Xvfb picks a free number and writes it to fd 3.
  rm -f "$work/display.txt"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display.txt" 2>"$work/xvfb.log" &
  session_xvfb_pid=$!
  local _
  for _ in $(seq 200); do
    [ -s "$work/display.txt" ] && break
    if ! kill -0 "$session_xvfb_pid" 2>/dev/null; then
      echo "Xvfb did not start: $(cat "$work/xvfb.log")" >&2
      exit 1
    fi
    sleep 0.05
  done
  [ -s "$work/display.txt" ] || { echo "Xvfb gave no display number" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$work/display.txt")"

  local template
  # E2E_PREFIX_TEMPLATE lets several build trees share one template.
  template="${E2E_PREFIX_TEMPLATE:-$(dirname "$work")/$(basename "$work")-prefix-template}-$WINEARCH"
  [ -f "$template/.e2e-template" ] || session_make_template "$template" "$work/wineboot.log"
  export WINEPREFIX="$work/prefix"
  : "${WINEPREFIX:?}"
  rm -rf "$WINEPREFIX"
  cp -a "$template" "$WINEPREFIX"
  session_prefixes+=("$WINEPREFIX")
  # In the copy, so a template made before the fonts were installed gets them too.
  wine_link_fonts "$WINEPREFIX" || exit 1
  "$wineserver" -p
}
