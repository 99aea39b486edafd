#!/usr/bin/env bash
# Settings files (".quillet"): found in the file's directory or above, the nearest winning, the
# command line over the file, "-noconf", a bad file refused before anything is written, and each
# directory's own settings in a tree.
# Usage: settings_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

line='int x;                         // a comment'
mkdir -p p/near/deeper
printf '%s\n' "$line" | tee p/top.c p/near/mid.c p/near/deeper/low.c >plain.c
printf "# the project's layout\n-cpos 40 -CPP   # line comments\n" >p/.quillet
printf -- '-csz 10\n-cpos\t50 # nearer\n' >p/near/.quillet
# layout ARGS...: what the file holds after `quillet -fi plain.c -fo - ARGS`, with no settings.
layout() { "$quillet" -fi plain.c -fo - -noconf "$@"; }

# check NAME FILE "WANT" ARGS...: quillet -fi FILE -fo - ARGS gives what `layout WANT` gives.
check() {
  local name=$1 file=$2 want=$3
  shift 3
  "$quillet" -fi "$file" -fo - "$@" >got.txt; rc=$?
  # shellcheck disable=SC2086
  layout $want >want.txt
  [ "$rc" = 0 ] && cmp -s got.txt want.txt || fail "$name: status $rc, got [$(cat got.txt)]"
}
check "in the file's directory" p/top.c "-cpos 40 -cpp"
check "the nearest wins" p/near/mid.c "-cpos 50 -csz 10"
check "from a parent" p/near/deeper/low.c "-cpos 50 -csz 10"
check "command line over the file" p/near/mid.c "-cpos 30 -csz 10" -cpos 30
check "-noconf" p/near/mid.c "" -noconf
# th and cpos are ordered once merged: a th past the default cpos meets the file's cpos.
mkdir -p far && printf -- '-cpos 81\n' >far/.quillet
printf 'int x;%68s// a comment\n' '' >far/a.c
printf 'int x;%74s/* a comment%32s*/\n' '' '' >want.txt
"$quillet" -fi far/a.c -fo - -th 70 | cmp -s - want.txt || fail "th from the line, cpos from the file"
printf 'int x;%63s/* a comment%32s*/\n' '' '' >want.txt
"$quillet" -fi far/a.c -fo - -th 70 -noconf | cmp -s - want.txt || fail "th past the default cpos"
# A link named alone takes the settings of the file it names, as a tree does: one place for its
# settings and for its in-place swap.
mkdir elsewhere && printf -- '-cpos 30\n' >elsewhere/.quillet && ln -s ../p/top.c elsewhere/top.c
check "a link: the settings of the file it names" elsewhere/top.c "-cpos 40 -cpp"
(cd p/near && "$quillet" -fi - -fo - <../../plain.c) >got.txt
layout -cpos 50 -csz 10 >want.txt
cmp -s got.txt want.txt || fail "standard input takes the current directory's settings"

# A bad file is refused, status 12, naming it and what is wrong, before anything is written.
mkdir bad
for content in '-th' '-fi a.c' 'tabs 8' '-cpos -cpp'; do
  printf '%s\n' "$content" >bad/.quillet
  printf '%s\n' "$line" >bad/a.c
  "$quillet" -fi bad/a.c >printed.txt; rc=$?
  [ "$rc" = 12 ] || fail "bad settings [$content]: status $rc, want 12"
  grep -q "^? $work/bad/.quillet: " printed.txt || fail "bad settings [$content]: printed [$(cat printed.txt)]"
  [ "$(cat bad/a.c)" = "$line" ] && [ ! -e bad/a.c.bak ] && [ ! -e bad/a.c.tmp ] ||
    fail "bad settings [$content]: a file was written"
done
"$quillet" -fi bad/a.c -fo out.c >/dev/null
[ ! -e out.c ] || fail "bad settings: the output was created"

# Which settings files are taken: not one in a directory every user may write to (anyone could
# have put it there), while one owned by another user, where only owners write, is.
mkdir -m 1777 shared && mkdir shared/proj && printf -- '-nobak -cpos 200\n' >shared/.quillet
cp plain.c shared/proj/a.c
"$quillet" -fi shared/proj/a.c >printed.txt; rc=$?
layout | cmp -s - shared/proj/a.c && [ -e shared/proj/a.c.bak ] ||
  fail "a settings file in a directory every user may write to was taken: status $rc"
chown nobody p/.quillet
check "owned by another user" p/top.c "-cpos 40 -cpp"
# A byte-order mark is no word.
mkdir bom && printf '\357\273\277-cpp\n' >bom/.quillet && cp plain.c bom/a.c
check "byte-order mark" bom/a.c "-cpp"

# Refused, status 12: a settings file every user may write to, one that is no regular file (a
# FIFO must not hold the run), and words with control bytes, shown escaped.
mkdir odd && cp plain.c odd/a.c
for kind in writable fifo control; do
  rm -f odd/.quillet
  case $kind in
    writable) printf -- '-cpp\n' >odd/.quillet && chmod 666 odd/.quillet
      want="? $work/odd/.quillet: every user may write to it" ;;
    fifo) mkfifo odd/.quillet && want="? $work/odd/.quillet: is not a regular file" ;;
    control) printf -- '-cpp \033[2J\n' >odd/.quillet
      want="? $work/odd/.quillet: unknown word \"\\033[2J\"" ;;
  esac
  printed=$(timeout 10 "$quillet" -fi odd/a.c -check); rc=$?
  [ "$rc" = 12 ] && [ "$printed" = "$want" ] || fail "settings file $kind: status $rc, [$printed]"
done

# In a tree each file takes its own directory's settings; a bad file fails its own files only.
cp -r p t
printf -- '-nobak\n' >>t/near/deeper/.quillet
"$quillet" -r t >printed.txt; rc=$?
[ "$rc" = 0 ] || fail "tree: status $rc: $(cat printed.txt)"
layout -cpos 40 -cpp | cmp -s - t/top.c || fail "tree: top.c"
layout -cpos 50 -csz 10 | cmp -s - t/near/mid.c || fail "tree: mid.c"
layout | cmp -s - t/near/deeper/low.c || fail "tree: low.c"
[ -e t/near/mid.c.bak ] && [ ! -e t/near/deeper/low.c.bak ] || fail "tree: -nobak from a settings file"
cp -r p t2 && cp bad/.quillet t2/near/
"$quillet" -r t2 -check >printed.txt; rc=$?
[ "$rc" = 12 ] && [ "$(grep -c 'would change' printed.txt)" = 1 ] ||
  fail "tree with a bad settings file: status $rc: $(cat printed.txt)"
# It is told once, at the first of its files in the order of the walk, whatever the threads.
[ "$(grep -c "^? t2/near/.quillet: " printed.txt)" = 1 ] ||
  fail "a bad settings file told more than once: $(cat printed.txt)"
for jobs in 1 4; do
  "$quillet" -r t2 -check -j "$jobs" | cmp -s - printed.txt || fail "another report with -j $jobs"
done

finish
