#!/usr/bin/env bash
# In-place rewriting: what is on disk after every outcome, run on real files.
# Usage: in_place_test.sh path/to/quillet path/to/quillet_faults
#   quillet_faults: the tests' build, whose system calls fail, or wait, as QUILLET_FAIL and
#   QUILLET_PAUSE say.
set -u
quillet=$(realpath "$1")
faulty=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

original='int x;                         // a comment
'
rewritten="int x;$(printf '%58s' '')/* a comment                                */
"
plain='int y;
'

# fresh NAME: a directory holding a.c with the original content, made current.
fresh() {
  cd "$work" && rm -rf "$1" && mkdir "$1" && cd "$1" && printf '%s' "$original" >a.c
}
# has FILE CONTENT: FILE holds exactly CONTENT.
has() {
  [ -f "$1" ] && [ "$(cat "$1"; echo .)" = "$2." ] || fail "$case: $1 does not hold what it should"
}
absent() { [ ! -e "$1" ] && [ ! -L "$1" ] || fail "$case: $1 should not exist"; }
# run STATUS MESSAGE ARGS...: quillet ends with STATUS, printing MESSAGE (and a newline) or nothing.
run() {
  local status=$1 message=$2
  shift 2
  local printed
  printed=$("$quillet" "$@")
  local rc=$?
  [ "$rc" = "$status" ] || fail "$case: status $rc, want $status"
  [ "$printed" = "$message" ] || fail "$case: printed [$printed], want [$message]"
}
# with_fault "CALL SUFFIX ERRNO" STATUS MESSAGE ARGS...: the same, with that call made to fail.
with_fault() {
  local fault=$1 status=$2 message=$3
  shift 3
  local printed
  printed=$(QUILLET_FAIL="$fault" "$faulty" "$@")
  local rc=$?
  [ "$rc" = "$status" ] || fail "$case: status $rc, want $status"
  [ "$printed" = "$message" ] || fail "$case: printed [$printed], want [$message]"
}

case="first run"
fresh first
run 0 "" -fi a.c
has a.c "$rewritten"
has a.c.bak "$original"
absent a.c.tmp

case="second run"
run 0 "" -fi a.c
has a.c "$rewritten"
has a.c.bak "$rewritten"

case="nothing to move"
fresh nothing
printf '%s' "$plain" >a.c
run 0 "" -fi a.c
has a.c "$plain"
has a.c.bak "$plain"

case="stale temporary file"
fresh stale
printf 'stale content that is longer than the result will be, by a long way ......\n' >a.c.tmp
run 0 "" -fi a.c
has a.c "$rewritten"
absent a.c.tmp

case="temporary name is a link"
fresh link_tmp
printf 'precious\n' >precious.txt
ln -s precious.txt a.c.tmp
run 0 "" -fi a.c
has precious.txt 'precious
'
has a.c "$rewritten"
absent a.c.tmp

case="temporary name is a directory"
fresh dir_tmp
mkdir -p a.c.tmp/inside
run 6 "Cannot create file: a.c.tmp" -fi a.c
has a.c "$original"
absent a.c.bak

case="permission bits"
for mode in 755 444 600 4750; do
  fresh "mode_$mode"
  chmod "$mode" a.c
  run 0 "" -fi a.c
  has a.c "$rewritten"
  got=$(stat -c %a a.c)
  [ "$got" = "$mode" ] || fail "$case: mode $got, want $mode"
done

case="permission bits cannot be set"
for mode in 755 600; do
  fresh "fchmod_$mode"
  chmod "$mode" a.c
  if [ "$mode" = 755 ]; then
    with_fault "fchmod - 1" 10 "? Error writing a.c.tmp: Operation not permitted" -fi a.c
    has a.c "$original"
    absent a.c.tmp
    absent a.c.bak
  else
    with_fault "fchmod - 1" 0 "" -fi a.c  # the temporary has the bits already
    has a.c "$rewritten"
  fi
done

if [ "$(id -u)" = 0 ]; then
  case="owner, group and set-id bits"
  fresh owner
  chown nobody:nogroup a.c
  chmod 6755 a.c
  run 0 "" -fi a.c
  got=$(stat -c '%U:%G %a' a.c)
  [ "$got" = "nobody:nogroup 6755" ] || fail "$case: $got, want nobody:nogroup 6755"
  fresh owner_refused
  chown nobody:nogroup a.c
  chmod 6755 a.c
  with_fault "fchown - 1" 0 "" -fi a.c
  got=$(stat -c '%U %a' a.c)
  [ "$got" = "root 755" ] || fail "$case: $got, want set-id bits dropped under root"
fi

# Caught half way: the temporary file is private while it is written, and a signal removes it
# before the run ends by that signal. The input is never touched.
case="interrupted"
for signal in TERM HUP; do
  fresh "interrupted_$signal"
  chmod 4755 a.c
  yes "$original" | head -c 2000000 >a.c
  cp a.c before.txt
  args=(-fi a.c)
  [ "$signal" = HUP ] && args=(-r .)  # and a tree's worker
  QUILLET_PAUSE="write 1 30" "$faulty" "${args[@]}" & pid=$!
  for _ in $(seq 100); do [ -s a.c.tmp ] && break; sleep 0.1; done
  got=$(stat -c %a a.c.tmp 2>&1)
  [ "$got" = 600 ] || fail "$case: the half-written temporary file has mode $got, want 600"
  kill -"$signal" "$pid"
  wait "$pid" 2>/dev/null; rc=$?
  [ "$rc" = $((128 + $(kill -l "$signal"))) ] || fail "$case: SIG$signal: status $rc"
  absent a.c.tmp
  absent a.c.bak
  cmp -s a.c before.txt || fail "$case: SIG$signal: the input changed"
done

if [ "$(id -u)" = 0 ]; then
  # The kernel clears set-id bits when an owner who is not root writes: the bits come last.
  case="set-id bits of an unprivileged owner"
  fresh setid_user
  chown -R nobody:nogroup "$work/setid_user"
  chmod 4755 a.c
  chmod 755 "$work"
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$quillet" -fi a.c; rc=$?
  got=$(stat -c '%U %a' a.c)
  [ "$rc" = 0 ] && [ "$got" = "nobody 4755" ] || fail "$case: status $rc, $got, want nobody 4755"
  has a.c "$rewritten"
fi

case="input is a link"
fresh link_input
mkdir real
mv a.c real/a.c
ln -s real/a.c a.c
run 0 "" -fi a.c
[ -L a.c ] || fail "$case: the link was replaced"
has real/a.c "$rewritten"
has real/a.c.bak "$original"
absent real/a.c.tmp
absent a.c.bak

case="path longer than 1019 characters"
fresh long_path
deep=.
for _ in 1 2 3 4 5 6 7 8 9 10 11; do deep="$deep/$(printf 'd%.0s' {1..100})"; done
mkdir -p "$deep"
printf '%s' "$original" >"$deep/a.c"
run 0 "" -fi "$deep/a.c"
has "$deep/a.c" "$rewritten"
has "$deep/a.c.bak" "$original"
absent "$deep/a.c.tmp"

case="backup name is a non-empty directory"
fresh dir_backup
mkdir -p a.c.bak/inside
run 7 "? Error renaming a.c" -fi a.c
has a.c "$original"
has a.c.tmp "$rewritten"

case="input is a directory"
fresh dir_input
mkdir d
printf 'keep\n' >d.tmp
run 10 "? Error reading d: Is a directory" -fi d
has d.tmp 'keep
'
[ -d d ] || fail "$case: the directory is gone"

case="input is a pipe"
fresh pipe_input
mkfifo pipe.c
run 5 "? Not a regular file: pipe.c" -fi pipe.c
[ -p pipe.c ] || fail "$case: the pipe was replaced"
absent pipe.c.tmp
absent pipe.c.bak

case="no such input"
fresh missing
run 5 "No such file: b.c" -fi b.c
absent b.c.tmp

case="write fails"
fresh write_fails
head -c 20000 /dev/zero | tr '\0' 'x' >>a.c
cp a.c before.c
printed=$(ulimit -f 4; trap '' XFSZ; "$quillet" -fi a.c)
rc=$?
[ "$rc" = 10 ] || fail "$case: status $rc, want 10"
[ "$printed" = "? Error writing a.c.tmp: File too large" ] || fail "$case: printed [$printed]"
cmp -s a.c before.c || fail "$case: the input changed"
absent a.c.tmp
absent a.c.bak

case="fsync fails"
fresh fsync_fails
with_fault "fsync file 5" 10 "? Error writing a.c.tmp: Input/output error" -fi a.c
has a.c "$original"
absent a.c.tmp
absent a.c.bak

case="backup cannot be deleted"
fresh delete_denied
printf 'older\n' >a.c.bak
with_fault "unlink .bak 13" 8 "? Cannot delete temp file (access)" -fi a.c
has a.c "$original"
has a.c.bak 'older
'
has a.c.tmp "$rewritten"

case="backup deletion fails otherwise"
fresh delete_other
printf 'older\n' >a.c.bak
with_fault "unlink .bak 1" 0 "" -fi a.c
has a.c "$rewritten"
has a.c.bak "$original"

case="no locks on this file system"
fresh no_locks
with_fault "flock - 37" 0 "" -fi a.c
has a.c "$rewritten"
has a.c.bak "$original"

case="hard link refused"
fresh link_refused
with_fault "link .bak 1" 0 "" -fi a.c
has a.c "$rewritten"
has a.c.bak "$original"
absent a.c.tmp

case="first rename fails"
fresh rename_input
with_fault "link .bak 18;rename a.c 18" 7 "? Error renaming a.c" -fi a.c
has a.c "$original"
has a.c.tmp "$rewritten"
absent a.c.bak

case="second rename fails"
fresh rename_temporary
with_fault "rename .tmp 18" 7 "? Error renaming a.c.tmp" -fi a.c
has a.c "$original"
has a.c.bak "$original"
has a.c.tmp "$rewritten"

case="second rename refused: another program holds the file"
fresh rename_held
with_fault "rename .tmp 16" 7 "? Error renaming a.c.tmp
? a.c is held open by another program: its new text is in a.c.tmp" -fi a.c
has a.c "$original"
has a.c.tmp "$rewritten"

case="second rename fails, no hard links"
fresh rename_temporary_nolink
with_fault "link .bak 1;rename .tmp 18" 7 "? Error renaming a.c.tmp" -fi a.c
absent a.c
has a.c.bak "$original"
has a.c.tmp "$rewritten"

case="directory cannot be synced"
fresh sync_directory
with_fault "fsync directory 5" 10 "? Error writing .: Input/output error" -fi a.c
has a.c "$rewritten"
has a.c.bak "$original"

finish
