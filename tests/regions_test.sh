#!/usr/bin/env bash
# Regions fenced off by markers pass through byte for byte in every mode: to a file, to standard
# output, in place, -check, -diff, -trail and a tree.
# Usage: regions_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

moves='int x;                         // moves'
{
  echo "$moves"
  echo '    // clang-format off: a table aligned by hand'
  echo 'int a;                         // stays'
  echo 'int b;                                   /* stays too */'
  echo '/* *INDENT-ON* */'
  echo "$moves"
  echo 'int t[] = {                    // clang-format off'
  echo '  1,                           // stays'
  echo '};                             /* clang-format on */'
  echo "$moves"
  echo '                               /* quillet off */'
  echo 'int c;                         // stays, to the end'
} >a.c
# Outside the regions, each line is what a run on it alone gives; inside, it is as it was.
{
  printf '%s\n' "$moves" | "$quillet" -fi - -noconf
  sed -n 2,5p a.c
  printf '%s\n' "$moves" | "$quillet" -fi - -noconf
  sed -n 7,9p a.c
  printf '%s\n' "$moves" | "$quillet" -fi - -noconf
  sed -n 11,12p a.c
} >want.c
cmp -s a.c want.c && fail "the sample has nothing to move"

"$quillet" -fi a.c -fo out.c && cmp -s out.c want.c || fail "to a file"
"$quillet" -fi a.c -fo - | cmp -s - want.c || fail "to standard output"
cp a.c in_place.c && "$quillet" -fi in_place.c && cmp -s in_place.c want.c || fail "in place"
"$quillet" -fi a.c -trail -fo - | cmp -s - want.c || fail "-trail"
mkdir t && cp a.c t/a.c && "$quillet" -r t && cmp -s t/a.c want.c || fail "a tree"
cp a.c patched.c && "$quillet" -fi a.c -diff | sed 's/^\([-+][-+][-+] \)a\.c/\1patched.c/' |
  patch -s patched.c && cmp -s patched.c want.c || fail "-diff"
sed -n '2,5p;7,9p;11,12p' a.c >fenced.c
"$quillet" -fi fenced.c -check >printed; rc=$?
[ "$rc" = 0 ] && [ ! -s printed ] || fail "-check on fenced lines: status $rc"
"$quillet" -fi a.c -check >printed; rc=$?
[ "$rc" = 11 ] || fail "-check: status $rc, want 11"

finish
