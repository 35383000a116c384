#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the launcher need
# and the machine does not have yet. Safe to run again: present packages are skipped.
set -euo pipefail

native=(cmake make g++ googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev)
cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
gui=(wine wine32:i386 xvfb x11-apps imagemagick)

missing=()
for p in "${native[@]}" "${cross[@]}" "${gui[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}; run this as root to install them." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
