#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the launcher need
# and the machine does not have yet. Safe to run again: present packages are skipped.
set -euo pipefail

native=(cmake make g++ googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev)
# The 64-bit compiler builds the 64-bit test build, which runs at native speed under
# wine64 where 32-bit code can only be emulated.
cross=(g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64)
# wine64 is named on its own: with wine32 listed, apt would not pull it in for "wine".
# fonts-wine: Wine's own Marlett (caption buttons) and MS Sans Serif (the dialogs' font);
# the prefixes link them in (wine-env.sh, tests/e2e/wine_session.sh).
gui=(wine wine32:i386 wine64 fonts-wine xvfb x11-apps imagemagick)
# The release zip (scripts/dist.sh).
release=(zip)

# Wine's 32-bit loader is a 32-bit Linux program. A kernel built without 32-bit support
# cannot start it, so it is run through qemu's user-mode emulator instead.
wine32_runs() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
if [ -x /usr/lib/wine/wine ] && ! wine32_runs; then
  gui+=(qemu-user-static)
fi

missing=()
for p in "${native[@]}" "${cross[@]}" "${gui[@]}" "${release[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
enable_i386_emulation() {
  [ -x /usr/lib/wine/wine ] && ! wine32_runs || return 0
  [ -x /usr/bin/qemu-i386-static ] || { echo "qemu-user-static is missing" >&2; return 1; }
  local fs=/proc/sys/fs/binfmt_misc
  mountpoint -q "$fs" || mount -t binfmt_misc binfmt_misc "$fs"
  if [ ! -e "$fs/qemu-i386" ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' >"$fs/register"
  fi
  wine32_runs || { echo "32-bit Wine still cannot run on this kernel" >&2; return 1; }
  echo "This kernel cannot run 32-bit programs itself: 32-bit Wine runs under qemu-i386 (slow)."
}

if [ ${#missing[@]} -eq 0 ]; then
  enable_i386_emulation
  exit 0
fi

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

# Installing wine32 may have just made the check above meaningful.
if [ -x /usr/lib/wine/wine ] && ! wine32_runs && ! dpkg-query -W qemu-user-static >/dev/null 2>&1; then
  apt-get install -y -q --no-install-recommends qemu-user-static
fi
enable_i386_emulation
