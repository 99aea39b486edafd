#!/usr/bin/env bash
# Only the lines asked for: "-lines A:B" in every single-file mode, and "-r -since REV" in a git
# repository made here, with commits, a rename, a deletion, odd names, staged and unstaged
# changes. Every line is judged: rebuilt when asked for, byte for byte as it was elsewhere.
# Usage: lines_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

# numbered N: N lines, each with a comment that would move.
numbered() { for i in $(seq "$1"); do echo "int v$i;                         // c$i"; done; }
# judge NAME FILE BEFORE "LINES": FILE is BEFORE with exactly the lines LINES (numbers) rebuilt.
judge() {
  local name=$1 file=$2 before=$3 i=0 line want
  while IFS= read -r line; do
    i=$((i + 1))
    want=$line
    case " $4 " in *" $i "*) want=$(printf '%s\n' "$line" | "$quillet" -fi - -noconf) ;; esac
    [ "$(sed -n "${i}p" "$file")" = "$want" ] || { fail "$name: line $i"; return; }
  done <"$before"
  [ "$(wc -l <"$file")" = "$i" ] || fail "$name: $(wc -l <"$file") lines, want $i"
}

numbered 12 >a.c
cp a.c orig.c
"$quillet" -fi a.c -fo out.c -lines 2:3 -lines 3:4 -lines 9:9 && judge "to a file" out.c a.c "2 3 4 9"
"$quillet" -fi a.c -fo - -lines 12:4000000000 >out.c && judge "to standard output" out.c a.c "12"
cp a.c in_place.c && "$quillet" -fi in_place.c -lines 1:1 && judge "in place" in_place.c a.c "1"
"$quillet" -fi a.c -check -lines 1:2 >/dev/null; [ $? = 11 ] || fail "-check inside a range"
printf 'int x;\n%s\n' "$(sed -n 2p a.c)" >one.c
"$quillet" -fi one.c -check -lines 1:1 >printed; [ $? = 0 ] && [ ! -s printed ] || fail "-check outside"
cp a.c patched.c && "$quillet" -fi a.c -diff -lines 5:6 | sed 's/^\([-+][-+][-+] \)a\.c/\1patched.c/' |
  patch -s patched.c && judge "-diff" patched.c a.c "5 6"
{ sed -n 1,2p a.c; echo '// clang-format off'; sed -n 3,4p a.c; echo '// clang-format on'; } >fenced.c
"$quillet" -fi fenced.c -fo - -lines 1:6 >out.c && judge "with a region" out.c fenced.c "1 2"
{ echo '                           // alone'; sed -n 2p a.c; } >trail.c
"$quillet" -fi trail.c -fo - -trail -lines 1:2 >out.c && judge "with -trail" out.c trail.c "2"
printf 'x;                              // a\ry;                              // b\nz;                         // c\n' >cr.c
"$quillet" -fi cr.c -fo - -lines 1:1 >out.c
[ "$(sed -n 2p out.c)" = "$(sed -n 2p cr.c)" ] && ! cmp -s <(head -n 1 out.c) <(head -n 1 cr.c) ||
  fail "a lone carriage return: lines are numbered as a diff numbers them"

# Refused before anything is written, status 9.
for range in 0:3 5:2 x 7 1:4294967296 -1:2 1:2: ""; do
  printed=$("$quillet" -fi a.c -lines "$range"); rc=$?
  [ "$rc" = 9 ] && [ "$printed" = "? Not a line range (FIRST:LAST, from 1): $range" ] ||
    fail "range [$range]: status $rc, [$printed]"
done
"$quillet" -fi a.c -lines >/dev/null; [ $? = 9 ] || fail "-lines without a value"
"$quillet" -r . -lines 1:2 >/dev/null; [ $? = 9 ] || fail "-lines with -r"
"$quillet" -fi a.c -since HEAD >/dev/null; [ $? = 9 ] || fail "-since without -r"
cmp -s a.c orig.c && [ ! -e a.c.bak ] || fail "a refused run wrote something"

command -v git >/dev/null || finish
commit() { git -c user.name=t -c user.email=t@t commit -qm "$1"; }
mkdir repo && cd repo && git init -q
odd=$(printf 'odd\nname \303\251.c')
for f in a.c "b c.c" old.c gone.c "$odd" untracked.c notes.txt; do numbered 10 >"$f"; done
git add a.c "b c.c" old.c gone.c "$odd" notes.txt && commit one
for f in a.c "b c.c" old.c gone.c "$odd"; do cp "$f" "../$(printf '%s' "$f" | tr '\n ' '__').before"; done
sed -i '3s/v3/W3/; 7d' a.c                # a change, and a hunk that only deletes
git mv old.c new.c && sed -i '5s/v5/W5/' new.c
git rm -q gone.c
sed -i '2s/v2/W2/' "b c.c" && git add "b c.c" && sed -i '9s/v9/W9/' "b c.c"  # staged, then not
sed -i '4s/v4/W4/' "$odd" && sed -i '1s/v1/W1/' notes.txt
sed -i '6s/v6/W6/' a.c && git add a.c && commit two  # a change committed after the revision
# A link committed under a C name, changed to lead out of the tree: git names it, nothing is
# written through it.
numbered 10 | tee ../victim.c ../victim2.c >/dev/null
ln -s ../victim.c link.c && git add link.c && commit link && ln -sfn ../victim2.c link.c
printf 'int W1;                         // c1\n' >>new.c
"$quillet" -r -check -since HEAD~2 >printed; rc=$?
[ "$rc" = 11 ] || fail "-since -check: status $rc"
[ "$(sort printed)" = "$(printf '? %s would change\n' a.c "b c.c" new.c "\"$(printf 'odd\\nname \303\251.c')\"" | sort)" ] ||
  fail "-since -check: printed [$(cat printed)]"
"$quillet" -r -since HEAD~2 -nobak; rc=$?
[ "$rc" = 0 ] || fail "-since in place: status $rc"
cp ../a.c.before a.before && sed -i '3s/v3/W3/; 7d; 6s/v6/W6/' a.before  # 7d first: v8 is line 7
judge "-since: a change and a deletion" a.c a.before "3 6"
sed '2s/v2/W2/; 9s/v9/W9/' "../b_c.c.before" >b.before && judge "-since: staged and not" "b c.c" b.before "2 9"
{ sed '5s/v5/W5/' ../old.c.before; printf 'int W1;                         // c1\n'; } >new.before
judge "-since: renamed" new.c new.before "5 11"
sed '4s/v4/W4/' "../odd_name_é.c.before" >odd.before && judge "-since: a name with a newline" "$odd" odd.before "4"
numbered 10 | sed '1s/v1/W1/' | cmp -s - notes.txt || fail "-since: a file of another kind"
numbered 10 | cmp -s - untracked.c || fail "-since: an untracked file"
numbered 10 | cmp -s - ../victim2.c && [ -L link.c ] || fail "-since: written through a link"
"$quillet" -r -check -since HEAD~2 >/dev/null || fail "-since: a second run would change more"
printed=$("$quillet" -r -check -since no-such-revision); rc=$?
[ "$rc" = 9 ] && [[ "$printed" == "? git: "* ]] || fail "unknown revision: status $rc, [$printed]"
printed=$("$quillet" -r -check -since --output=../x); rc=$?
[ "$rc" = 9 ] && [ ! -e ../x ] || fail "a revision taken for an option: status $rc, [$printed]"
printed=$(cd .. && "$quillet" -r -check -since HEAD); rc=$?
[ "$rc" = 9 ] && [[ "$printed" == "? git: "* ]] || fail "no work tree: status $rc, [$printed]"
printed=$(PATH=/nowhere "$quillet" -r -check -since HEAD); rc=$?
[ "$rc" = 9 ] && [ "$printed" = "? -since needs git, which cannot be run" ] || fail "no git: status $rc"

finish
