#!/usr/bin/env bash
# nodmat.exe under Wine: list and rename on a sparse file over 4 GiB, paths with
# backslashes, wildcards the program expands itself, and the ANSI code page's bytes.
# The Wine session (own prefix, own Xvfb, stopped by their ids) is the dialog tests' one.
#
#   wine_run.sh NODMAT.exe WORKDIR [CASES]
#
# CASES: comma-separated parts of case names to run; empty runs them all. Exit code 77
# (a skip for CTest) when this machine cannot run the program at all.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 NODMAT.exe WORKDIR [CASES]" >&2
  exit 2
fi
[ -f "$1" ] || { echo "no such file: $1" >&2; exit 2; }
nodmat=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
mkdir -p "$2"
work=$(cd "$2" && pwd)
filter=${3:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Wine's ANSI code page is 1252 under this locale, and file names keep their bytes.
export LC_ALL=C.UTF-8

files=$work/files
if [ -e "$files" ]; then
  chattr -R -i "$files" 2>/dev/null || true
  rm -rf "$files"
fi
mkdir -p "$files"

# shellcheck source=../e2e/wine_session.sh
source "$here/../e2e/wine_session.sh"
wine_session_start "$work"

# A NOD file: version 7, the count, a 32-byte field per name (bytes as printf reads
# them), then model data.
nod() {
  local out=$1 name
  shift
  mkdir -p "$(dirname "$out")"
  {
    printf '\x07\x00\x00\x00'
    printf "\\x$(printf %02x $#)\\x00\\x00\\x00"
    for name in "$@"; do
      printf "$name" | head -c 32
      head -c $((32 - $(printf "$name" | wc -c))) /dev/zero
    done
    printf 'model data \x00\xff after the table\n'
  } >"$out"
}

failures=0
case_name=
fail() {
  echo "FAIL [$case_name]: $*"
  failures=$((failures + 1))
}

# Runs nodmat.exe in folder $1 with the remaining arguments; sets rc, out and err. An
# emulated 32-bit Wine now and then hangs: with E2E_ATTEMPTS=2 a hung run is tried again.
run() {
  local dir=$1 attempt start
  shift
  for attempt in $(seq "${E2E_ATTEMPTS:-1}"); do
    start=$EPOCHREALTIME
    set +e
    (cd "$dir" && timeout 600 "$wine" "$nodmat" "$@" >"$work/out" 2>"$work/err")
    rc=$?
    set -e
    ARGS="$*" awk -v s="$start" -v e="$EPOCHREALTIME" 'BEGIN { printf "  %.1f s: nodmat %s\n", e - s, ENVIRON["ARGS"] }'

    [ "$rc" -ne 124 ] && break
    echo "  (no answer in 600 s; attempt $attempt)"
  done
  out=$(cat "$work/out"; echo .)
  out=${out%.}
  err=$(cat "$work/err"; echo .)
  err=${err%.}
}

# expect STATUS STDOUT STDERR: the last run's results, byte for byte.
expect() {
  [ "$rc" -eq "$1" ] || fail "exit status $rc, expected $1"
  [ "$out" == "$2" ] || fail "standard output:"$'\n'"$(printf '%s' "$out" | od -c | head -20)"$'\n'"expected:"$'\n'"$(printf '%s' "$2" | od -c | head -20)"
  [ "$err" == "$3" ] || fail "standard error: $(printf '%q' "$err"), expected $(printf '%q' "$3")"
}

# same FILE EXPECTED-FILE: byte for byte.
same() { cmp -s "$1" "$2" || fail "$1 differs from $2: $(cmp "$1" "$2" 2>&1 | head -1)"; }

wanted() {
  local part
  [ -z "$filter" ] && return 0
  IFS=, read -ra parts <<<"$filter"
  for part in "${parts[@]}"; do
    [[ $1 == *"$part"* ]] && return 0
  done
  return 1
}

# The summary line; $(...) drops its line end, so callers add it.
summary() { printf '%s files: %s renamed, %s unchanged, %s failed' "$@"; }

case_large_sparse_file() {
  local d=$files/large size=$((0x100001000)) marker=END-OF-MODEL-DATA
  nod "$d/big.nod" 'Stone' 'Wood' 'Metal'
  truncate -s "$size" "$d/big.nod"
  printf '%s' "$marker" | dd of="$d/big.nod" bs=1 seek=$((size - ${#marker})) conv=notrunc status=none
  nod "$d/expected.nod" 'Stone' 'Oak' 'Metal'

  run "$d" list "$(winpath "$d/big.nod")"
  expect 0 $'1\tStone\n2\tWood\n3\tMetal\n' ''
  run "$d" rename Wood Oak big.nod
  expect 0 "big.nod: renamed 1 of 3"$'\n'"$(summary 1 1 0 0)"$'\n' ''
  head -c $((8 + 3 * 32)) "$d/big.nod" >"$d/table-after"
  head -c $((8 + 3 * 32)) "$d/expected.nod" >"$d/table-expected"
  same "$d/table-after" "$d/table-expected"
  [ "$(stat -c %s "$d/big.nod")" -eq "$size" ] || fail "the file's length changed"
  [ "$(tail -c ${#marker} "$d/big.nod")" == "$marker" ] || fail "the model data's end changed"
  # The model data right after the table, as before.
  cmp -s <(head -c "$(stat -c %s "$d/expected.nod")" "$d/big.nod" | tail -c +105) <(tail -c +105 "$d/expected.nod") ||
    fail "the model data after the table changed"
  rm -f "$d/big.nod"
}

case_backslash_paths() {
  local d=$files/backslash
  nod "$d/pack/sub/a.nod" 'Stone' 'Wood'
  nod "$d/pack/b.nod" 'Stone'
  nod "$d/pack/notes.txt" 'Stone'
  cp "$d/pack/notes.txt" "$d/notes-before"
  local pack
  pack=$(winpath "$d/pack")

  run "$d" list 'pack\sub\a.nod'
  expect 0 $'1\tStone\n2\tWood\n' ''
  run "$d" list "$pack"
  expect 0 "$pack/b.nod"$'\t1\tStone\n'"$pack/sub/a.nod"$'\t1\tStone\n'"$pack/sub/a.nod"$'\t2\tWood\n' ''
  run "$d" rename Stone Marble 'pack\sub\a.nod' "$pack\\"
  expect 0 $'pack\\sub\\a.nod: renamed 1 of 2\n'"$pack\\b.nod: renamed 1 of 1"$'\n'"$(summary 3 2 1 0)"$'\n' ''
  nod "$d/a-expected" 'Marble' 'Wood'
  nod "$d/b-expected" 'Marble'
  same "$d/pack/sub/a.nod" "$d/a-expected"
  same "$d/pack/b.nod" "$d/b-expected"
  same "$d/pack/notes.txt" "$d/notes-before"
}

case_wildcards() {
  local d=$files/wildcards
  nod "$d/a.nod" 'Stone' 'Wood'
  nod "$d/B.NOD" 'Stone'
  nod "$d/c.nodx" 'Stone'
  nod "$d/sub/e.nod" 'Stone'
  nod "$d/sub.nod/f.nod" 'Stone'
  cp "$d/c.nodx" "$d/c-before"

  # A folder matched by the pattern is searched like any folder given.
  run "$d" list '*.nod'
  expect 0 $'B.NOD\t1\tStone\na.nod\t1\tStone\na.nod\t2\tWood\nsub.nod/f.nod\t1\tStone\n' ''
  run "$d" list 'sub\*.NOD' '*.xyz'
  expect 1 $'sub\\e.nod\t1\tStone\n' $'*.xyz: Could not open file.\n'
  run "$d" rename Stone Marble 'sub/*' '[a-b].nod'
  expect 1 $'sub/e.nod: renamed 1 of 1\n'"$(summary 2 1 0 1)"$'\n' $'[a-b].nod: Could not open file.\n'
  run "$d" rename --quiet Stone Marble '*.nod'
  expect 0 "$(summary 3 3 0 0)"$'\n' ''
  nod "$d/a-expected" 'Marble' 'Wood'
  same "$d/a.nod" "$d/a-expected"
  same "$d/c.nodx" "$d/c-before"
}

# Names are the ANSI code page's bytes: é is 0xE9 in the file and in redirected output,
# and an argument typed as é finds it.
case_ansi_bytes() {
  local d=$files/ansi
  nod "$d/f.nod" 'caf\xe9' 'Tab\tX' 'Back\\slash'
  run "$d" list f.nod
  expect 0 $'1\tcaf\xe9\n2\tTab\\x09X\n3\tBack\\x5Cslash\n' ''
  run "$d" rename -- 'café' 'Th\xE9\x5C' f.nod
  expect 0 "f.nod: renamed 1 of 3"$'\n'"$(summary 1 1 0 0)"$'\n' ''
  nod "$d/expected" 'Th\xe9\\' 'Tab\tX' 'Back\\slash'
  same "$d/f.nod" "$d/expected"
}

# On a console the same names are shown as the text they are: run on a terminal of its
# own (script), the console's UTF-8 shows é, where redirected output had the byte 0xE9.
case_console_output() {
  local d=$files/console shown
  nod "$d/f.nod" 'caf\xe9'
  shown=$(cd "$d" && script -qec "$(printf '%q ' "$wine" "$nodmat" list f.nod)" /dev/null | tr -d '\r'; echo .)
  [[ $shown == *café* ]] || fail "the console shows $(printf '%s' "$shown" | od -c | head -5)"
  [[ $shown != *$'\xe9'* ]] || fail "the console got the raw byte 0xE9"
}

ran=0
for c in large-sparse-file backslash-paths wildcards ansi-bytes console-output; do
  wanted "$c" || continue
  case_name=$c
  echo "case $c"
  before=$failures
  "case_${c//-/_}"
  [ "$failures" -eq "$before" ] && echo "ok $c"
  ran=$((ran + 1))
done
echo "$ran cases, $failures failures"
[ "$ran" -gt 0 ] && [ "$failures" -eq 0 ]
