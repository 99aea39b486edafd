#!/usr/bin/env bash
# Standard streams ("-"), the check mode, tab stops and UTF-8 columns, run on real files.
# Usage: filter_test.sh path/to/quillet path/to/quillet_faults (its system calls fail as
#   QUILLET_FAIL says)
set -u
quillet=$(realpath "$1")
faulty=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

# expect NAME STATUS STDOUT_FILE: the last command ended with STATUS and printed what STDOUT_FILE
# holds, byte for byte.
expect() {
  [ "$rc" = "$2" ] || fail "$1: status $rc, want $2"
  cmp -s printed "$3" || fail "$1: printed [$(head -c 300 printed)], want [$(head -c 300 "$3")]"
}
message() { printf '%s\n' "$1" >wanted; }

printf 'int x;\nint y;                         // a comment\n' >a.c
printf 'int x;\r\nint y;%58s// a comment\r\n' '' >b.c
cp a.c a.orig
"$quillet" -fi a.c -fo rewritten.c -cpp
"$quillet" -fi b.c -fo b-rewritten.c -cpp

"$quillet" -fi - -cpp <a.c >printed; rc=$?
expect "standard input to standard output" 0 rewritten.c
"$quillet" -fi - -fo - -cpp <a.c >printed; rc=$?
expect "both streams named" 0 rewritten.c
"$quillet" -fi a.c -fo - -cpp >printed; rc=$?
expect "file to standard output" 0 rewritten.c
"$quillet" -FI - -cpp <b.c >printed; rc=$?
expect "cr lf through a pipe" 0 b-rewritten.c
cat a.c | "$quillet" -fi - -cpp | cat >printed; rc=$?
expect "pipes on both sides" 0 rewritten.c
# Output of many buffers comes out the same every way: the two lines' own output, repeated.
yes "$(cat a.c)" | head -n 40000 >many.c
yes "$(cat rewritten.c)" | head -n 40000 >many.want
"$quillet" -fi many.c -fo many.out -cpp; rc=$?
cp many.out printed
expect "many buffers to a file" 0 many.want
"$quillet" -fi - -cpp <many.c | cat >printed; rc=$?
expect "many buffers through a pipe" 0 many.want
cp many.c in-place.c
"$quillet" -fi in-place.c -cpp; rc=$?
cp in-place.c printed
expect "many buffers in place" 0 many.want
cmp -s in-place.c.bak many.c || fail "many buffers in place: the .bak is not the input"
cmp -s a.c a.orig || fail "the input changed"
[ ! -e a.c.tmp ] && [ ! -e a.c.bak ] && [ ! -e ./- ] || fail "a filter left files behind"

# Where standard output takes the text, every message goes to standard error, refusals of the
# command line among them: none can be taken for the text (an editor would save it as the file).
: >nothing
said() { cmp -s errors wanted || fail "$1: said [$(head -c 300 errors)], want [$(cat wanted)]"; }
mkdir dir bad && printf -- '-bogus\n' >bad/.quillet
bad="? $work/bad/.quillet: -bogus is not an option a settings file takes (it takes -th, -cpos,"
bad="$bad -csz, -cpp, -tabs, -utf8, -nobak, -trail, -exclude, -align, -span, -gap, -asis, -pad)"
while IFS='|' read -r name status text args; do
  # shellcheck disable=SC2086
  "$quillet" $args <a.c >printed 2>errors; rc=$?
  message "$text"
  expect "$name" "$status" nothing
  said "$name"
done <<EOF
no such input|5|No such file: missing.c|-fi missing.c -fo -
input is a directory|10|? Error reading dir|-fi dir -fo -
bad settings|12|$bad|-fi - -fo - -as bad/a.c
bad settings, no -fo|12|$bad|-fi - -as bad/a.c
not a line range|9|? Not a line range (FIRST:LAST, from 1): 0:1|-fi - -lines 0:1
refused before -fo is read|9|? -report takes lines or github, not x|-report x -fi a.c -fo -
options that cannot meet|9|? -report needs -check|-fi - -report lines
no input|2|? No input file!|-fo -
missing value|9|? Missing value for -csz|-fi - -csz
EOF
"$quillet" -fi - -fo out.c -as bad/a.c <a.c >printed 2>errors; rc=$?
message "$bad"
expect "bad settings, writing a file" 12 wanted
: >wanted && said "bad settings, writing a file"
"$quillet" -fi a.c -fo - >>a.c 2>errors; rc=$?
cp a.orig printed
expect "standard output appends to the input" 4 a.c
message "? The output file cannot be the same as the input file" && said "appends to the input"
if [ -w /dev/full ]; then
  "$quillet" -fi a.c -fo - >/dev/full 2>errors; rc=$?
  message "? Error writing -"
  [ "$rc" = 10 ] || fail "disk full on standard output: status $rc"
  said "disk full on standard output"
  "$quillet" -fi many.c -fo /dev/full >printed 2>&1; rc=$?
  message "? Error writing /dev/full"
  expect "disk full after many buffers" 10 wanted
fi
head -c 600000 /dev/zero | tr '\0' 'x' | fold -w 70 >big.c
QUILLET_FAIL="read 2 5" "$faulty" -fi - <big.c >printed 2>errors; rc=$?
[ "$rc" = 10 ] || fail "read error after output: status $rc, want 10"
[ -s printed ] || fail "read error after output: nothing was written before it"
cmp -s printed big.c 2>/dev/null
[ $? = 1 ] && ! grep -q 'Error' printed || fail "read error after output: a message joined the text"
message "? Error reading -" && said "read error after output"

# -check writes nothing anywhere and tells by its status.
cp a.c check.c
"$quillet" -fi rewritten.c -check -cpp >printed; rc=$?
expect "check: nothing would change" 0 nothing
"$quillet" -fi check.c -check >printed; rc=$?
message "? check.c would change"
expect "check: a line would change" 11 wanted
cmp -s check.c a.c && [ ! -e check.c.tmp ] && [ ! -e check.c.bak ] || fail "check touched the files"
"$quillet" -fi check.c -fo out.c -CHECK >printed; rc=$?
expect "check with an output file" 11 wanted
[ ! -e out.c ] || fail "check created its output file"
"$quillet" -fi - -check <a.c >printed; rc=$?
message "? - would change"
expect "check on standard input" 11 wanted
cat a.c | "$quillet" -fi - -check >printed; rc=$?
expect "check on a pipe" 11 wanted
"$quillet" -fi missing.c -check >printed; rc=$?
message "No such file: missing.c"
expect "check: no such input" 5 wanted
"$quillet" -fi check.c -fo ./check.c -check >printed; rc=$?
message "? The output file cannot be the same as the input file"
expect "check: same file" 4 wanted

# -as: standard input taken as a file of a project: its settings, its exclusions, its name in
# messages and diff headers; the file need not exist; an excluded text comes back whole.
mkdir -p proj/vendor && printf -- '-cpos 40 -cpp\n-exclude vendor\n' >proj/.quillet
"$quillet" -fi a.c -fo as-want.c -noconf -cpos 40 -cpp
"$quillet" -fi - -fo - -as proj/src/new/b.c <a.c >printed; rc=$?
expect "-as: the project's settings" 0 as-want.c
"$quillet" -fi - -fo - -as proj/vendor/b.c <a.c >printed; rc=$?
expect "-as: excluded, back as it came" 0 a.c
"$quillet" -fi - -fo - -as proj/src/b.c -exclude 'proj/src' <a.c >printed; rc=$?
expect "-as: excluded on the command line" 0 a.c
"$quillet" -fi - -fo - -as "$work/proj/src/b.c" -exclude "$work/proj/src/b.c" <a.c >printed; rc=$?
expect "-as: an absolute path excluded" 0 a.c
"$quillet" -fi - -check -as proj/src/b.c <a.c >printed; rc=$?
message "? proj/src/b.c would change"
expect "-as: named in messages" 11 wanted
"$quillet" -fi - -diff -as proj/src/b.c <a.c | sed -n '1s/\t.*//p' >printed
message "--- proj/src/b.c"
rc=0 && expect "-as: named in diff headers" 0 wanted
for args in "-fi a.c -as x.c" "-r . -as x.c"; do
  # shellcheck disable=SC2086
  "$quillet" $args >printed </dev/null; rc=$?
  message "? -as names what standard input is: it needs -fi -, without -r"
  expect "-as refused: $args" 9 wanted
done

# -report: every line that would change, where its comment is and where it would go.
printf 'int x;\nint y;                         // a\nint z;%40s/* b */\n' '' >report.c
"$quillet" -fi report.c -check -report lines >printed; rc=$?
printf '%s\n' "report.c:2:32: warning: trailing comment would move to column 65" \
  "report.c:3:47: warning: trailing comment would move to column 65" >wanted
expect "-report lines" 11 wanted
"$quillet" -fi - -as 'r,:%.c' -check -report GITHUB <report.c >printed; rc=$?
printf '%s\n' "::warning file=r%2C%3A%25.c,line=2,col=32::trailing comment would move to column 65" \
  "::warning file=r%2C%3A%25.c,line=3,col=47::trailing comment would move to column 65" >wanted
expect "-report github" 11 wanted
"$quillet" -fi rewritten.c -check -cpp -report lines >printed; rc=$?
expect "-report: nothing to tell" 0 nothing
# No report line starts what GitHub's runner reads as one of its commands.
cp report.c '::error::x.c' && "$quillet" -r -check -report lines '::error::x.c' >printed; rc=$?
printf '%s\n' "./::error::x.c:2:32: warning: trailing comment would move to column 65" \
  "./::error::x.c:3:47: warning: trailing comment would move to column 65" >wanted
expect "-report lines: a name that reads as a command" 11 wanted
for args in "-report lines" "-check -report" "-check -report files" "-diff -report lines"; do
  # shellcheck disable=SC2086
  "$quillet" -fi a.c $args >printed; rc=$?
  [ "$rc" = 9 ] && [ -s printed ] || fail "refused: $args: status $rc"
done

# Tab stops and UTF-8 columns, against the layout they should give.
printf '\t\tx;\t// a\n\ty;\t\t\t/* b */\n' >tabs.c
printf '\t\tx;%46s/* a%40s*/\n\ty;%54s/* b%40s*/\n' '' '' '' '' >tabs-8.c
"$quillet" -fi tabs.c -fo - -tabs 8 >printed; rc=$?
expect "tab stops of 8" 0 tabs-8.c
"$quillet" -fi tabs.c -fo - >printed; rc=$?
expect "tabs as one column" 0 tabs.c
printf 's = "\xc3\xa9t\xc3\xa9";%20s// \xe6\x97\xa5\xe6\x9c\xac\n' '' >utf8.c
printf 's = "\xc3\xa9t\xc3\xa9";%54s/* \xe6\x97\xa5\xe6\x9c\xac%39s*/\n' '' '' >utf8-chars.c
"$quillet" -fi utf8.c -fo - -utf8 >printed; rc=$?
expect "utf-8 characters" 0 utf8-chars.c

finish
