#!/usr/bin/env bash
# Builds the release and writes dist/palvane2-VERSION-win32.zip: Palvane2.exe, nodmat.exe
# (where the sources have it), README.txt, LICENSE.txt and SHA256SUMS. Prints each file's
# size and SHA-256. The same sources give the same bytes in any folder at any time
# (tests/release/reproducible.sh checks it).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
root=$PWD

bash scripts/install-deps.sh >/dev/null

build=build/release
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
programs=(Palvane2)
[ -f cli/CMakeLists.txt ] && programs+=(nodmat)
cmake --build "$build" --target "${programs[@]}" -j"$(nproc)" >/dev/null

# The version's one definition is the project's in CMakeLists.txt; CMake writes it here.
version=$(sed -n 's/^#define PALVANE_VERSION "\(.*\)"$/\1/p' "$build/generated/version.h")
[ -n "$version" ] || { echo "no PALVANE_VERSION in $build/generated/version.h" >&2; exit 1; }
name=palvane2-$version-win32

stage=$build/$name
rm -rf "$stage"
mkdir -p "$stage"
files=(Palvane2.exe)
cp "$build/app/Palvane2.exe" "$stage/"
if [[ " ${programs[*]} " == *" nodmat "* ]]; then
  cp "$build/cli/nodmat.exe" "$stage/"
  files+=(nodmat.exe)
fi
# Plain text for Windows: CR LF line ends.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' scripts/release/README.txt >"$stage/README.txt"
sed -e 's/$/\r/' scripts/release/LICENSE.txt >"$stage/LICENSE.txt"
files+=(README.txt LICENSE.txt)
(cd "$stage" && sha256sum "${files[@]}") >"$stage/SHA256SUMS"
files+=(SHA256SUMS)

# Entries in a fixed order, with fixed modes and times (zip stores local time, so in UTC)
# and no extra fields (-X: no owners, no further time stamps), and no folder entries.
epoch=${SOURCE_DATE_EPOCH:-1767225600}  # 2026-01-01 00:00 UTC unless the caller fixes another
(cd "$stage" && chmod 0644 "${files[@]}" && TZ=UTC touch -d "@$epoch" "${files[@]}")
mkdir -p dist
zip=dist/$name.zip
rm -f "$zip"
(cd "$stage" && TZ=UTC zip -q -X -D "$root/$zip" "${files[@]}")

for f in "${files[@]}"; do
  printf '%9d  %s  %s\n' "$(stat -c %s "$stage/$f")" "$(sha256sum <"$stage/$f" | cut -d' ' -f1)" "$f"
done
printf '%9d  %s  %s\n' "$(stat -c %s "$zip")" "$(sha256sum <"$zip" | cut -d' ' -f1)" "$zip"
