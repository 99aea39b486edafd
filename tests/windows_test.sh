#!/usr/bin/env bash
# Quillet for Windows, run under wine: every mode gives the bytes the Linux build gives, and what
# Windows does otherwise is met as a Windows user meets it: names in UTF-8 with blanks, CR LF, a
# read-only file, a file another program holds open, git.exe, Ctrl+C.
# Usage: windows_test.sh path/to/quillet.exe path/to/linux/quillet path/to/git.exe \
#          path/to/hold_open.exe
#   git.exe: the tests' git, which answers as the directory QUILLET_FAKE_GIT tells it
#   (tests/fake_git.cpp); hold_open.exe: holds a file open as another program (tests/hold_open.cpp).
# The wine to run them with is $QUILLET_WINE (default: wine), its prefix WINEPREFIX's.
set -u
wine=${QUILLET_WINE:-wine}
windows=$(realpath "$1")
linux=$(realpath "$2")
fake_git=$(realpath "$3")
holder=$(realpath "$4")
source_tree=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

# q ARGS...: the Windows build, run from here. Wine finds Linux's "/" at Z:, the drive of the
# current directory, so that absolute paths need no drive.
q() { "$wine" "$windows" "$@"; }

original='int x;                         // a comment
'
rewritten="int x;$(printf '%58s' '')/* a comment                                */
"
# has FILE CONTENT: FILE holds exactly CONTENT.
has() {
  [ -f "$1" ] && [ "$(cat "$1"; echo .)" = "$2." ] || fail "$case: $1 does not hold what it should"
}
absent() { [ ! -e "$1" ] || fail "$case: $1 should not exist"; }
# status WANT GOT: the run ended with WANT.
status() { [ "$2" = "$1" ] || fail "$case: status $2, want $1"; }

case="in place, with a backup"
mkdir place && cd place && printf '%s' "$original" >a.c
q -fi a.c
status 0 $?
has a.c "$rewritten"
has a.c.bak "$original"
absent a.c.tmp
q -fi a.c
status 0 $?
has a.c.bak "$rewritten"
cd "$work"

case="the Linux build's bytes, every mode, every line end"
# Each sample file as it is, with CR LF, and with lone CRs: text mode would have made CR CR LF.
mkdir same && cd same
for sample in "$source_tree"/examples/sample.c "$source_tree"/tests/data/*.c; do
  name=$(basename "$sample" .c)
  cp "$sample" "$name.c"
  sed 's/$/\r/' "$sample" >"$name.crlf.c"
  tr '\n' '\r' <"$sample" >"$name.cr.c"
done
for file in *.c; do
  for mode in -fo -check -diff; do
    if [ "$mode" = -fo ]; then
      q -fi "$file" -fo - >windows.out 2>windows.err
      w=$?
      "$linux" -fi "$file" -fo - >linux.out 2>linux.err
    else
      q "$mode" -fi "$file" >windows.out 2>windows.err
      w=$?
      "$linux" "$mode" -fi "$file" >linux.out 2>linux.err
    fi
    l=$?
    # Windows keeps a file's time to a tenth of a microsecond: the diff's header says so.
    sed -i 's/^\(--- .*\|+++ .*\)\.\([0-9]\{7\}\)[0-9][0-9] /\1.\200 /' linux.out
    [ "$w" = "$l" ] || fail "$case: $mode $file: status $w, Linux's $l"
    cmp -s windows.out linux.out || fail "$case: $mode $file: not Linux's output"
    cmp -s windows.err linux.err || fail "$case: $mode $file: not Linux's messages"
  done
done
cd "$work"

case="a name past ASCII, with blanks"
name='café € x.c'
printf '%s' "$original" >"$name"
printed=$(q -check -fi "$name")
status 11 $?
[ "$printed" = "? $name would change" ] || fail "$case: printed [$printed]"
q -fi "$name"
status 0 $?
has "$name" "$rewritten"
has "$name.bak" "$original"

case="-diff, applied by patch"
mkdir patched && printf '%s' "$original" >patched/b.c && cp patched/b.c b.c
q -diff -fi b.c >b.patch
status 11 $?
(cd patched && patch -s -p0 <../b.patch) || fail "$case: patch refused the diff"
has patched/b.c "$rewritten"
grep -qE '^--- b\.c	[0-9-]+ [0-9:.]+ [+-][0-9]{4}$' b.patch || fail "$case: header $(head -1 b.patch)"

case="-check statuses and messages"
printf '%s' "$rewritten" >done.c
printed=$(q -check -fi done.c)
status 0 $?
[ -z "$printed" ] || fail "$case: printed [$printed] for a file lined up"
printed=$(q -check -fi missing.c)
status 5 $?
[ "$printed" = "No such file: missing.c" ] || fail "$case: printed [$printed]"

case="standard output a pipe no one reads"
# Its reader gone before the first byte: the reason the Linux build gives with SIGPIPE ignored.
printf '%s' "$original" >unread.c
printed=$(perl -e 'pipe(R, W); close R; open STDOUT, ">&W"; exec @ARGV' "$wine" "$windows" \
  -diff -fi unread.c 2>&1)
status 10 $?
[ "$printed" = "? Error writing standard output: Broken pipe" ] || fail "$case: printed [$printed]"

case="a file named as a device with an extension"
# Windows takes "nul.c" for the device NUL wherever the name stands; the file is meant.
printf '%s' "$original" >nul.c
q -check -fi nul.c >/dev/null
status 11 $?
q -fo nul.copy.c -fi nul.c
status 0 $?
has nul.copy.c "$rewritten"

case="a tree, two workers, settings and exclusions"
mkdir -p tree/src/lib tree/gen
for f in tree/src/a.c tree/src/lib/b.h tree/src/lib/c.cpp tree/gen/d.c; do printf '%s' "$original" >"$f"; done
printf -- '-exclude gen\n' >tree/.quillet
cp -r tree linux-tree
q -r -j 2 -nobak tree
status 0 $?
"$linux" -r -j 2 -nobak linux-tree
diff -r tree linux-tree >/dev/null || fail "$case: the tree is not as the Linux build leaves it"
has tree/gen/d.c "$original"

case="a read-only file"
printf '%s' "$original" >ro.c && chmod a-w ro.c
q -fi ro.c
status 0 $?
has ro.c "$rewritten"
[ "$(stat -c %a ro.c ro.c.bak)" = "444
444" ] || fail "$case: the file or its backup is no longer read-only"
has ro.c.bak "$original"

case="a file another program holds open"
printf '%s' "$original" >held.c
"$wine" "$holder" held.c 30 >held.ready &
holder_pid=$!
for _ in $(seq 100); do
  grep -q held held.ready 2>/dev/null && break
  sleep 0.1
done
printed=$(q -fi held.c 2>&1)
status 7 $?
[ "$printed" = "? Error renaming held.c.tmp
? held.c is held open by another program: its new text is in held.c.tmp" ] ||
  fail "$case: printed [$printed]"
has held.c "$original"
has held.c.tmp "$rewritten"  # the new text, kept
kill "$holder_pid" 2>/dev/null
wait "$holder_pid" 2>/dev/null

case="git through git.exe"
# The walk asks git what it ignores, by an absolute path found once in PATH (wine's WINEPATH
# puts it there), with the settings that start no program, and leaves that out.
mkdir -p repo/.git answers
printf '%s' "$original" >repo/kept.c
printf '%s' "$original" >repo/ignored.c
printf 'ignored.c\0' >answers/stdout
printf 'GIT_ALLOW_PROTOCOL\n' >answers/variables
git_dir=$(dirname "$fake_git")
printed=$(WINEPATH="Z:${git_dir//\//\\}" QUILLET_FAKE_GIT="Z:${work//\//\\}\\answers" q -r -check repo)
status 11 $?
[ "$printed" = "? repo/kept.c would change" ] || fail "$case: printed [$printed]"
grep -q -- '^-c$' answers/calls && grep -q '^core.fsmonitor=false$' answers/calls &&
  grep -q '^--ignored$' answers/calls && grep -q '^GIT_ALLOW_PROTOCOL=$' answers/calls ||
  fail "$case: git was asked otherwise: $(tr '\n' ' ' <answers/calls)"

case="Ctrl+C"
# Wine turns SIGINT into the console's Ctrl+C: the temporary file goes, the file stays whole, and
# the run ends as Windows ends it (STATUS_CONTROL_C_EXIT, of which wine keeps the low byte, 58).
yes 'int x;                         // a comment' | head -n 2000000 >big.c
cp big.c big.orig
"$wine" "$windows" -fi big.c &  # not through q: the shell would be sent the signal
run_pid=$!
for _ in $(seq 500); do
  [ -s big.c.tmp ] && break
  sleep 0.01
done
if [ -s big.c.tmp ]; then
  kill -INT "$run_pid"
  wait "$run_pid"
  status 58 $?
  absent big.c.tmp
  cmp -s big.c big.orig || fail "$case: the file was changed"
else
  wait "$run_pid"
  fail "$case: the run ended before Ctrl+C could be sent"
fi

cat <<'EOF'
What a Windows run gives that wine cannot show (check these on Windows first):
- a symbolic link or a junction in a tree is passed over, and a file named through one is run on
  where it leads (wine shows Linux's links as the files they lead to);
- the rename over a read-only file, which Windows refuses, is made once the attribute is off
  (wine renames over it anyway);
- a console that takes no colour escapes gets a diff without them; Ctrl+Break and closing the
  console clean up as Ctrl+C does;
- every user's right to write a .quillet or its directory comes from the access list Windows
  keeps, not from the mode bits wine makes one from.
EOF
finish
