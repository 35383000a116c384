#!/usr/bin/env bash
# End-to-end run: the program and the driver under Wine, on a virtual display and in a
# Wine prefix of this run's own (wine_session.sh), all stopped when the run ends.
#
#   run.sh PROGRAM.exe DRIVER.exe WORKDIR [CASE-SUBSTRING]
#
# WORKDIR (under the build folder) gets the prefix, the fixtures, the driver's log and
# the screenshots; those docs/ shows are copied to docs/screenshots/.
# Exit code 77 (a skip for CTest) when this machine cannot execute 32-bit programs.
set -euo pipefail

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  echo "usage: $0 PROGRAM.exe DRIVER.exe WORKDIR [CASE-SUBSTRING]" >&2
  exit 2
fi
program=$1 driver=$2 work=$3 filter=${4:-}
for exe in "$program" "$driver"; do
  [ -f "$exe" ] || { echo "no such file: $exe" >&2; exit 2; }
done
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
driver=$(cd "$(dirname "$driver")" && pwd)/$(basename "$driver")
mkdir -p "$work"
work=$(cd "$work" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$here/../.." && pwd)

# What a previous run left, an immutable fixture or a mounted file system of a run cut
# short included.
if [ -d "$work/files" ]; then
  while read -r target; do
    umount "$target" || umount -l "$target"
  done < <(findmnt -rn -o TARGET | grep -F "$work/files/" || true)
fi
for d in files screenshots bin; do
  if [ -e "$work/$d" ]; then
    chattr -R -i "$work/$d" 2>/dev/null || true
    rm -rf "${work:?}/$d"
  fi
done
rm -f "$work"/*.log "$work/prepare.txt"

# shellcheck source=wine_session.sh
source "$here/wine_session.sh"
wine_session_start "$work"

# A file whose table has a hole (zeros never written) on a small file system of its own,
# then filled: rewriting the table in place needs a new page there and fails for want of
# space. Where that cannot be set up, the reason goes to DIR.unavailable, which the
# driver's case reports as its failure.
full_disk() {
  local layout=$1 file=$2 dir unavailable
  dir=$(dirname "$file")
  unavailable="$dir.unavailable"
  # Not in a subshell: the session must remember the mount to undo it.
  if ! session_mount_tmpfs "$dir" 65536 >"$work/mount.log"; then
    echo "cannot mount a tmpfs on $dir: $(cat "$work/mount.log")" >"$unavailable"
    return
  fi
  cp --sparse=always "$layout" "$file"
  if [ $(($(stat -c '%b * %B' "$file"))) -ge "$(stat -c %s "$file")" ]; then
    echo "cp --sparse=always left no hole in $file" >"$unavailable"
    return
  fi
  dd if=/dev/zero of="$dir/filler" bs=4096 status=none 2>/dev/null || true
  if [ "$(df --output=avail -B1 "$dir" | tail -n1 | tr -d ' ')" != 0 ]; then
    echo "$dir still has room after filling it: $(df -B1 "$dir" | tail -n1)" >"$unavailable"
  fi
}

# Fixtures the driver cannot finish from inside Wine: it writes them, then asks.
"$wine" "$driver" --prepare "$(winpath "$work")" | tr -d '\r' >"$work/prepare.txt"
while read -r kind rel size mark; do
  case $kind in
    immutable) session_immutable "$work/$rel" ;;
    sparse)
      truncate -s "$size" "$work/$rel"
      printf '%s' "$mark" | dd of="$work/$rel" bs=1 seek=$((size - ${#mark})) conv=notrunc status=none
      ;;
    full-disk) full_disk "$work/$size" "$work/$rel" ;;  # the file, then its layout
    *) echo "unknown fixture request: $kind" >&2; exit 1 ;;
  esac
done <"$work/prepare.txt"

set +e
timeout 4500 "$wine" "$driver" "$(winpath "$program")" "$(winpath "$work")" ${filter:+"$filter"} \
  2>"$work/driver-stderr.log" | sed -u 's/\r$//' | tee "$work/driver.log"
rc=${PIPESTATUS[0]}
set -e
if [ "$rc" -ne 0 ] && ! grep -q '^[0-9]* passed, [0-9]* failed$' "$work/driver.log"; then
  echo "the driver ended with code $rc before its totals; see $work/driver-stderr.log"
fi

for bmp in "$work"/screenshots/*.bmp; do
  [ -f "$bmp" ] || continue
  # No time stamps in the PNG, so the same picture gives the same bytes (no churn in docs/).
  /usr/bin/convert "$bmp" -strip -define png:exclude-chunk=date,time "${bmp%.bmp}.png" && rm -f "$bmp"
done
for shot in main-dialog edit-material file-changed; do
  if [ -f "$work/screenshots/$shot.png" ]; then
    mkdir -p "$repo/docs/screenshots"
    cp "$work/screenshots/$shot.png" "$repo/docs/screenshots/$shot.png"
  fi
done
exit "$rc"
