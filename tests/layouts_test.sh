#!/usr/bin/env bash
# The layouts that line up groups (-align column, group, keep) end to end, each against its
# expected output: to standard output, in place, in a tree with -j 2 and with its settings file,
# as a -diff that patch applies, -check's statuses, -report's columns, -lines, a region, -trail
# and a CR LF line; and a second run changes nothing.
# Usage: layouts_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

# at CODE COLUMN COMMENT [END]: CODE, blanks up to COLUMN, COMMENT, and END (a newline).
at() { printf '%s%*s%s%b' "$1" $(($2 - 1 - ${#1})) '' "$3" "${4:-\n}"; }

# sample LAYOUT: the sample, with its lines laid out at the columns of LAYOUT ("in": as written).
sample() {
  local group=36 alone=36 note=36 x=25 c13='/* a group of its own */'
  case "$1" in
    in) group=0 alone=45 note=50 x=27 ;;
    column) group=65 alone=65 note=65 x=65 ;;
    keep) x=27 ;;
    trail) note=50 ;;
    cpp) c13='// a group of its own' ;;
  esac
  echo 'struct ring {'
  at '    unsigned char data[RING_SIZE];' $((group ? group : 43)) '// the bytes themselves'
  at '    size_t head;' $((group ? group : 34)) '// next slot to write'
  echo '    size_t count;'
  at '    size_t tail;' $((group ? group : 45)) '// next slot to read' '\r\n'
  at "$([ "$alone" = 45 ] || echo ' ')" $alone '// (wraps around)'
  at "$([ "$note" = 50 ] || echo ' ')" $note '// a note of its own'
  echo '};'
  echo
  at 'int t[] = {' 34 '// clang-format off'
  at '  1,' 34 '// stays'
  at '};' 34 '// clang-format on'
  at 'int x;' $x "$c13"
}
sample in >a.c
for layout in column group keep trail cpp; do sample $layout >"want.$layout"; done

# check NAME LAYOUT OPTIONS...: runs every mode with OPTIONS against want.LAYOUT.
check() {
  local name=$1 want=want.$2 rc
  shift 2
  "$quillet" -noconf -fi a.c -fo - "$@" >out.c || fail "$name: status $?"
  cmp -s out.c "$want" || fail "$name: to standard output"
  "$quillet" -noconf -fi "$want" -fo - "$@" | cmp -s - "$want" || fail "$name: a second run"
  cp a.c in_place.c && "$quillet" -noconf -fi in_place.c -nobak "$@" &&
    cmp -s in_place.c "$want" || fail "$name: in place"
  cp a.c patched.c && "$quillet" -noconf -fi a.c -diff "$@" |
    sed 's/^\([-+][-+][-+] \)a\.c/\1patched.c/' | patch -s patched.c &&
    cmp -s patched.c "$want" || fail "$name: -diff applied"
  "$quillet" -noconf -fi a.c -check "$@" >/dev/null; rc=$?
  [ "$rc" = 11 ] || fail "$name: -check of the input: status $rc"
  "$quillet" -noconf -fi "$want" -check "$@"; rc=$?
  [ "$rc" = 0 ] || fail "$name: -check of the output: status $rc"
}
check "column" column -align column -asis
check "group" group -align group -asis
check "keep" keep -align keep -asis
check "-trail" trail -align group -asis -trail
check "-cpp" cpp -align group -cpp

# A tree, four files over two threads, the layout from its settings file.
mkdir -p tree/a tree/b
for f in tree/a/1.c tree/a/2.c tree/b/3.c tree/b/4.c; do cp a.c $f; done
printf -- '-align group\n-asis # every option may be set here\n' >tree/.quillet
"$quillet" -r -j 2 tree || fail "tree: status $?"
for f in tree/a/1.c tree/a/2.c tree/b/3.c tree/b/4.c; do
  cmp -s $f want.group || fail "tree: $f"
done

# -report tells each line of a group with the column it goes to.
{
  for line in 2:43 3:34 5:45 6:45 7:50; do
    echo "a.c:${line}: warning: trailing comment would move to column 36"
  done
  echo "a.c:13:27: warning: trailing comment would move to column 25"
} >report.want
"$quillet" -noconf -fi a.c -check -report lines -align group -asis >report.out
cmp -s report.out report.want || fail "-report: $(diff report.want report.out | head -n 4)"

# -lines: a group with a line asked for is laid out whole, here through its span line.
{ sed -n 1,12p want.group; sed -n 13p a.c; } >lines.want
"$quillet" -noconf -fi a.c -fo - -align group -asis -lines 4:4 | cmp -s - lines.want ||
  fail "-lines: a group through its span line"
{ sed -n 1,12p a.c; sed -n 13p want.group; } >lines.want
"$quillet" -noconf -fi a.c -fo - -align group -asis -lines 13:13 | cmp -s - lines.want ||
  fail "-lines: only the group asked for"

# Tabs that pad need tab stops, from the command line or the settings file.
"$quillet" -noconf -fi a.c -fo - -pad tabs >printed 2>&1; rc=$?
[ "$rc" = 9 ] && grep -q -x -F -- '? -pad tabs needs -tabs N, N from 2 to 16' printed ||
  fail "-pad tabs without tab stops: status $rc, $(cat printed)"
printf -- '-pad tabs\n' >tree/.quillet
"$quillet" -r -check tree >printed; rc=$?
[ "$rc" = 9 ] || fail "-pad tabs in a settings file without tab stops: status $rc"
printf -- '-pad tabs -tabs 8 -align group -asis\n' >tree/.quillet
"$quillet" -r tree/a && "$quillet" -r -check tree/a || fail "-pad tabs -tabs 8: status $?"
grep -q "$(printf 'head;\t\t   //')" tree/a/1.c || fail "-pad tabs -tabs 8: no tabs"

finish
