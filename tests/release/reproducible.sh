#!/usr/bin/env bash
# Two release builds from two copies of the sources in different folders must give the
# same bytes: Palvane2.exe, nodmat.exe (where the sources have it) and the zip. Each copy
# holds the files a commit of this tree would hold (tracked and new, not ignored), and
# runs scripts/dist.sh itself, which builds only the release programs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$root/build/reproducible
rm -rf "$work"
# Different names and depths, so a build folder that leaks into an output shows.
copies=("$work/a/src" "$work/second-clone/elsewhere/palvane2")

for copy in "${copies[@]}"; do
  mkdir -p "$copy"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard --deduplicate |
     while IFS= read -r -d '' f; do [ -e "$f" ] && printf '%s\0' "$f"; done |
     tar --null -T - -cf -) | tar -xf - -C "$copy"
  echo "release build in $copy"
  bash "$copy/scripts/dist.sh" >"$copy.dist.log" 2>&1 || { cat "$copy.dist.log"; exit 1; }
done

outputs=(build/release/app/Palvane2.exe)
[ -f "${copies[0]}/cli/CMakeLists.txt" ] && outputs+=(build/release/cli/nodmat.exe)
zips=("${copies[0]}"/dist/*.zip)
[ ${#zips[@]} -eq 1 ] && [ -f "${zips[0]}" ] || { echo "dist.sh wrote no single zip in ${copies[0]}/dist" >&2; exit 1; }
outputs+=("dist/${zips[0]##*/}")

failed=0
for out in "${outputs[@]}"; do
  sums=()
  for copy in "${copies[@]}"; do
    [ -f "$copy/$out" ] || { echo "FAIL $out: missing in $copy" >&2; failed=1; continue 2; }
    sums+=("$(sha256sum <"$copy/$out" | cut -d' ' -f1)")
    # No build folder inside (file names in debug data or __FILE__).
    if grep -q -a -F -e "$copy" -e "$root" "$copy/$out"; then
      echo "FAIL $out: holds a build path" >&2
      failed=1
    fi
  done
  if [ "${sums[0]}" = "${sums[1]}" ]; then
    echo "same  ${sums[0]}  $out"
  else
    echo "FAIL $out differs: ${sums[0]} in ${copies[0]}, ${sums[1]} in ${copies[1]}" >&2
    failed=1
  fi
done
# The dialog program is a few hundred lines and a banner: a release far past this size
# means something unneeded got linked in again (the C++ exception machinery, say).
limit=131072
size=$(stat -c %s "${copies[0]}/build/release/app/Palvane2.exe")
if [ "$size" -gt "$limit" ]; then
  echo "FAIL Palvane2.exe is $size bytes, over $limit" >&2
  failed=1
else
  echo "size  $size bytes  build/release/app/Palvane2.exe (at most $limit)"
fi
exit "$failed"
