#!/usr/bin/env bash
# Exit statuses and messages of the command line, run on real files.
# Usage: cli_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

# expect NAME STATUS MESSAGE -- ARGS...: the run ends with STATUS and prints exactly MESSAGE and a
# newline (nothing at all for an empty MESSAGE; the help text for "help").
expect() {
  local name=$1 status=$2 want=$3
  shift 4
  "$quillet" "$@" >printed.txt
  local rc=$?
  [ "$rc" = "$status" ] || fail "$name: status $rc, want $status"
  if [ "$want" = help ]; then
    cp "$here/data/help.txt" wanted.txt
  elif [ -z "$want" ]; then
    : >wanted.txt
  else
    printf '%s\n' "$want" >wanted.txt
  fi
  cmp -s printed.txt wanted.txt || fail "$name: printed [$(cat printed.txt)], want [$want]"
}

printf 'int x;                         // a comment\n' >a.c
cp a.c original.c
same='? The output file cannot be the same as the input file'

expect "no arguments" 1 help --
expect "help" 1 help -- -fi a.c -HELP
expect "no input" 2 "? No input file!" -- -fo b.c
# A file named without -fi, or -r without a path, is told how to name one.
expect "a file without -fi" 2 "? No input file!
? Name the file to read with -fi: quillet -fi FILE" -- file.c -cpp
expect "-r without a path" 2 "? No input file!
? Name the files and directories to run on: quillet -r PATH..." -- -r -check
# --help lists every option on a line of its own, then points to the manual page; -help is the
# short text above.
"$quillet" --HELP -fi a.c >usage.txt; rc=$?
[ "$rc" = 0 ] || fail "--help: status $rc, want 0"
head -n 1 usage.txt | grep -q '^Usage: quillet -fi ' || fail "--help: [$(head -n 1 usage.txt)]"
tail -n 1 usage.txt | grep -q 'man quillet$' || fail "--help: no pointer to the manual page"
[ "$(grep -c '^  -[a-z0-9]' usage.txt)" -ge 20 ] || fail "--help: [$(cat usage.txt)]"
! grep -q '.\{81\}' usage.txt || fail "--help: a line past 80 columns: $(grep '.\{81\}' usage.txt)"
version=$(sed -n 's/^project(quillet VERSION \([0-9.]*\) .*/\1/p' "$here/../CMakeLists.txt")
expect "-version" 0 "quillet $version" -- -version
expect "--version, first of all" 0 "quillet $version" -- --VERSION -fi missing.c -th
expect "same path" 4 "$same" -- -fi a.c -fo a.c
expect "same file, other path" 4 "$same" -- -fi a.c -fo ./a.c
ln a.c hard.c
expect "same file, hard link" 4 "$same" -- -fi a.c -fo hard.c
ln -s a.c soft.c
expect "same file, symbolic link" 4 "$same" -- -fi soft.c -fo a.c
cmp -s a.c original.c || fail "a refused run changed the input"
expect "no such input" 5 "No such file: missing.c" -- -fi missing.c -fo b.c
[ ! -e b.c ] || fail "a missing input created the output"
expect "cannot create" 6 "Cannot create file: no/such/dir/b.c" -- -fi a.c -fo no/such/dir/b.c
expect "empty output path" 6 "Cannot create file: " -- -fi a.c -fo ""
expect "missing value" 9 "? Missing value for -csz" -- -fi a.c -fo b.c -csz
printf 'keep\n' >b.c
expect "input is a directory" 10 "? Error reading .: Is a directory" -- -fi . -fo b.c
[ "$(cat b.c)" = keep ] || fail "a directory as input emptied the output"
"$quillet" -fi a.c -fo - >&-
rc=$?
[ "$rc" = 10 ] || fail "standard output closed: status $rc, want 10"
# (Wine tells no identity of a standard stream, and Windows has no /dev/stdout.)
if [ -z "${QUILLET_WINE:-}" ]; then
  "$quillet" -fi a.c -fo /dev/stdout >>a.c
  rc=$?
  [ "$rc" = 4 ] && cmp -s a.c original.c || fail "standard output is the input: status $rc, or it changed"
fi
if [ -w /dev/full ]; then
  expect "disk full" 10 "? Error writing /dev/full: No space left on device" -- -fi a.c -fo /dev/full
fi
expect "two dashes check" 11 "? a.c would change" -- -fi a.c --check
cmp -s a.c original.c && [ ! -e a.c.bak ] || fail "--check wrote the file"
# In a tree, where a word that is no option names a path, a misspelt option is refused before
# anything is read or written; a file of that name is a path, as "./-x" always is.
mkdir tree && cp original.c tree/t.c
for typo in -chek --chek -5 --; do
  expect "tree, unknown option $typo" 9 "? Unknown option: $typo" -- -r "$typo" tree
done
cmp -s tree/t.c original.c && [ ! -e tree/t.c.bak ] || fail "an unknown option ran the tree"
cp original.c ./-x.c
expect "tree, a file named like an option" 11 "? -x.c would change" -- -r -check -x.c
expect "tree, ./-x" 11 "? ./-x.c would change" -- -r -check ./-x.c
expect "one file ignores an unknown word" 0 "" -- -fi a.c -fo b.c -chek
expect "two files" 0 "" -- -fi a.c -fo b.c -cpp
cmp -s a.c original.c || fail "the input changed"
printf 'int x;%58s// a comment\n' '' >want.c
cmp -s b.c want.c || fail "two files: unexpected output"

finish
