#!/usr/bin/env bash
# clang-format and Quillet agree with the settings docs/clang-format.md gives: over the project's
# samples and sources, clang-format, then Quillet, then clang-format again leaves nothing for
# Quillet's -check. Needs a clang-format of 16 or later (for AlignTrailingComments: Kind: Leave).
# Usage: clang_format_test.sh path/to/quillet path/to/source/tree
set -u
quillet=$(realpath "$1")
source_tree=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

formatter=
for candidate in clang-format clang-format-19 clang-format-18 clang-format-17 clang-format-16; do
  major=$("$candidate" --version 2>/dev/null | sed -n 's/.*version \([0-9]*\).*/\1/p')
  if [ -n "$major" ] && [ "$major" -ge 16 ]; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "skipped: no clang-format of 16 or later is installed (AlignTrailingComments: Kind: Leave)"
  exit 77
fi
echo "with $formatter ($("$formatter" --version))"

mkdir t
awk '$0 == "```yaml" { on = 1; next } /^```$/ { if (on) exit } on' \
  "$source_tree/docs/clang-format.md" >t/.clang-format
grep -q 'Kind: Leave' t/.clang-format || fail "the settings are missing from the page"
cp "$source_tree/examples/sample.c" "$source_tree"/tests/data/*.c t/
cp -r "$source_tree/src" t/src
# A table that a marker after code keeps from both: clang-format reads that marker only as written.
printf '%s\n' 'static const int t[] = {   // clang-format off' '    1,   2,' '      3,4 };' \
  '// clang-format on' >t/table.c
sed -n 2,3p t/table.c >table.want
find t -name '*.c' -o -name '*.cpp' -o -name '*.h' | xargs "$formatter" -i
"$quillet" -r -nobak t >/dev/null
find t -name '*.c' -o -name '*.cpp' -o -name '*.h' | xargs "$formatter" -i
"$quillet" -r -check t >printed; rc=$?
[ "$rc" = 0 ] || fail "clang-format undid Quillet's work: status $rc, $(head -n 5 printed)"
sed -n 2,3p t/table.c | cmp -s - table.want || fail "the fenced table was reflowed: $(cat t/table.c)"
# And without the settings, it would have: the pairing is what makes them agree.
printf 'BasedOnStyle: LLVM\n' >t/.clang-format
"$formatter" -i t/sample.c
"$quillet" -fi t/sample.c -check >/dev/null && fail "default settings left Quillet's columns alone"

finish
