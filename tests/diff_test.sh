#!/usr/bin/env bash
# "-diff" on real files: the diff applied with `patch -p0` gives exactly the in-place result, over
# one file and over a tree; nothing is written; the colour rule.
# Usage: diff_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

mkdir -p t/sub
{
  seq 1 12 | sed 's/.*/int line_&;/'
  echo 'int x;                         // a comment'
  seq 1 5 | sed 's/.*/int more_&;/'
  printf 'int y;                        /* no newline at the end */'
} >t/long.c
printf 'a;                         // x\r\nb;\r\n' >t/crlf.c
printf 'x;                           // y\rz;                  // lone cr\n' >t/sub/lone.cc
printf 'int z;\n' >t/same.h
# A hunk that stops short of its file's end, then a file whose change lies further down than it.
{ echo 'int a;                          // x'; seq -f 'int t%g;' 10; } >t/sub/a.c
{ seq -f 'int b%g;' 19; echo 'int b;                          // y'; seq -f 'int c%g;' 10; } >t/sub/b.c
cp -r t orig

# Each file alone, then the whole tree: the patch turns a copy into the in-place result.
for f in long.c crlf.c sub/lone.cc sub/a.c sub/b.c same.h; do
  (cd t && "$quillet" -fi "$f" -diff >"../$(basename "$f").diff"); rc=$?
  want=11
  [ "$f" = same.h ] && want=0
  [ "$rc" = "$want" ] || fail "$f: status $rc, want $want"
  [ "$f" = same.h ] && [ -s same.h.diff ] && fail "$f: a diff for a file that would not change"
done
diff -r t orig >/dev/null || fail "-diff changed a file"
[ -z "$(find t -name '*.tmp' -o -name '*.bak')" ] || fail "-diff left files behind"
cp -r orig want && (cd want && "$quillet" -r -nobak .)
cp -r orig patched
for f in long.c crlf.c sub/lone.cc sub/a.c sub/b.c; do
  (cd patched && patch -s -p0 <"../$(basename "$f").diff") || fail "$f: the patch does not apply"
done
diff -r patched want >/dev/null || fail "single-file patches do not give the in-place result"

"$quillet" -r t -diff -j 1 >tree.diff; rc=$?
[ "$rc" = 11 ] || fail "tree: status $rc, want 11"
"$quillet" -r t -diff -j 2 | cmp -s - tree.diff || fail "tree: -j 2 prints another diff"
# Workers spool the next diffs while the ones before are read back: many small diffs, the same
# bytes on every run.
mkdir small && for i in $(seq 12); do printf 'int v%d;                        // c\n' "$i" >"small/f$i.c"; done
"$quillet" -r small -diff -j 1 >small.1
for run in 1 2 3; do
  "$quillet" -r small -diff -j 2 | cmp -s - small.1 || fail "small diffs: -j 2, run $run: another diff"
done
mkdir applied && cp -r orig applied/t
(cd applied && patch -s -p0 <../tree.diff) && diff -r applied/t want >/dev/null ||
  fail "tree: the patch does not give the in-place result"
(cd applied && "$quillet" -r -check t >/dev/null) || fail "tree: the patched tree would still change"

# A name that holds a tab, or newlines that spell a change to another file, is quoted as GNU diff
# quotes it: the patch changes that file alone, and nothing else.
# (Windows allows no tab nor newline in a name.)
if [ -z "${QUILLET_WINE:-}" ]; then
  mkdir -p names/src && printf 'hello\n' >names/t.txt
  printf 'int x;                         // a\n' | tee "names/src/a$(printf '\t')b.c" \
    "names/src/x.c$(printf '\n--- t.txt\n+++ t.txt\n@@ -1 +1 @@\n-hello\n+pwned\n').c" >/dev/null
  cp -r names names.want && (cd names.want && "$quillet" -r -nobak src)
  (cd names && "$quillet" -r -diff src >../names.diff; patch -s -t -p0 -N <../names.diff) ||
    fail "hostile names: the patch does not apply"
  diff -r names names.want >/dev/null || fail "hostile names: the patch changed what it should not"
fi

# A diff that cannot be spooled whole is a failure, not a shorter patch.
mkdir -p spool && yes 'int x;                         // a' | head -n 9 >spool/a.c
(ulimit -f 1; trap '' XFSZ; "$quillet" -r -diff spool >spooled.txt); rc=$?
# Under wine the reason is Windows's, passed through its own error numbers: any reason will do there.
reason() { if [ -n "${QUILLET_WINE:-}" ]; then echo '?*'; else echo "$1"; fi; }
# shellcheck disable=SC2053 # the right side is a pattern under wine
[ "$rc" = 10 ] && [[ $(cat spooled.txt) == "? Error writing a temporary file: "$(reason "File too large") ]] ||
  fail "spool full: status $rc, printed [$(head -c 200 spooled.txt)]"

# Standard input is named "-"; its diff is the file's, under that name.
"$quillet" -fi - -diff <t/long.c | sed -n '1s/\t.*//p' | grep -qx -- '--- -' || fail "standard input is not named -"

# A diff that cannot be written is a failure, said on the error stream as the output is lost.
for to in "/dev/full|No space left on device" "closed|Bad file descriptor"; do
  why=${to#*|} to=${to%|*}
  if [ "$to" = closed ]; then "$quillet" -fi t/long.c -diff 2>err.txt >&-; rc=$?
  else "$quillet" -fi t/long.c -diff 2>err.txt >"$to"; rc=$?; fi
  [ "$rc" = 10 ] && [[ $(cat err.txt) == "? Error writing standard output: "$(reason "$why") ]] ||
    fail "diff to $to: status $rc, said [$(cat err.txt)]"
done

# Colour only on a terminal, and not with NO_COLOR. (A terminal is no Windows console to a
# program under wine, which writes escapes of its own to it.)
esc=$(printf '\033')
if [ -z "${QUILLET_WINE:-}" ]; then
  script -qec "$quillet -fi t/long.c -diff" /dev/null >tty.txt
  grep -q "^${esc}\[31m-int x;" tty.txt && grep -q "^${esc}\[32m+int x;" tty.txt ||
    fail "no colour on a terminal"
  NO_COLOR=1 script -qec "$quillet -fi t/long.c -diff" /dev/null | grep -q "$esc" &&
    fail "colour with NO_COLOR"
fi
grep -q "$esc" long.c.diff && fail "colour into a file"

finish
