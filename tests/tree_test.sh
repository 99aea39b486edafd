#!/usr/bin/env bash
# Tree mode ("-r") on a tree built here: what is walked and what is skipped, one run per file,
# untouched files that would not change, the single-file result for every other, and messages
# and status that do not depend on the number of threads.
# Usage: tree_test.sh path/to/quillet path/to/quillet_faults
#   quillet_faults: the tests' build, whose system calls fail as QUILLET_FAIL says.
set -u
quillet=$(realpath "$1")
faulty=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

moves='int x;                         // a comment
'
stays='int y;
'
# build: a fresh tree in t/ (and one file outside it); every file named *.c here would change.
build() {
  rm -rf t outside && mkdir -p t/src/deep/er t/.git t/include outside
  printf '%s' "$moves" >t/src/a.c
  printf '%s' "$moves" >t/src/deep/er/b.cc
  printf '%s' "$moves" >t/src/deep/Up.H
  printf '%s' "$stays" >t/include/same.h
  printf '%s' "$moves" >t/.git/hidden.c
  printf '%s' "$moves" >t/src/notes.txt
  printf '%s' "$moves" >outside/far.c
  ln -s ../../outside/far.c t/src/link.c
  ln -s ../outside t/linked_dir
  mkfifo t/src/pipe.c
  cp t/src/a.c original.c
}
# stamp: inode and time of every file under t/, to see which were touched.
stamp() { find t outside -type f -printf '%P %i %T@\n' | sort; }

case="in place over a tree"
build
before=$(stamp)
"$quillet" -r t >printed; rc=$?
[ "$rc" = 0 ] && [ ! -s printed ] || fail "$case: status $rc, printed [$(cat printed)]"
"$quillet" -fi original.c -fo want.c
for f in t/src/a.c t/src/deep/er/b.cc t/src/deep/Up.H; do
  cmp -s "$f" want.c || fail "$case: $f is not the single-file result"
  cmp -s "$f.bak" original.c || fail "$case: $f.bak is not its old content"
done
after=$(stamp)
for f in include/same.h .git/hidden.c src/notes.txt; do
  [ "$(grep "^$f " <<<"$before")" = "$(grep "^$f " <<<"$after")" ] || fail "$case: $f was touched"
done
[ ! -e t/include/same.h.bak ] || fail "$case: an unchanged file got a backup"
cmp -s outside/far.c original.c || fail "$case: a link met in the walk was followed"
[ -p t/src/pipe.c ] || fail "$case: the pipe was replaced"

case="-nobak"
build
"$quillet" -r t/src -NOBAK; rc=$?
[ "$rc" = 0 ] && cmp -s t/src/a.c want.c || fail "$case: status $rc, or a.c not rewritten"
[ -z "$(find t -name '*.bak')" ] || fail "$case: backups were made"

case="named twice, through a link, and walked"
build
"$quillet" -r t/src/a.c t/src t/src/link.c outside/far.c t/src/a.c -j 3 >printed; rc=$?
[ "$rc" = 0 ] || fail "$case: status $rc: $(cat printed)"
cmp -s t/src/a.c.bak original.c && cmp -s outside/far.c.bak original.c ||
  fail "$case: a file was run on twice (its backup is the first run's result)"

case="a link to a directory, named"
build
"$quillet" -r t/linked_dir; rc=$?
[ "$rc" = 0 ] && cmp -s outside/far.c want.c || fail "$case: status $rc, or not followed"

# Messages come whole, in the order of the walk, and the status is the first failure's, whatever
# the number of threads; every other file is still done.
case="check, threads and a failure in the middle"
for jobs in 1 4; do
  build
  rm t/src/pipe.c
  "$quillet" -r t -check -j "$jobs" >"check.$jobs"; rc=$?
  [ "$rc" = 11 ] || fail "$case: -check -j $jobs: status $rc, want 11"
  QUILLET_FAIL="open deep/Up.H 13" "$faulty" -r t -j "$jobs" >"run.$jobs"; rc=$?
  [ "$rc" = 5 ] || fail "$case: -j $jobs: status $rc, want 5"
  cmp -s t/src/deep/er/b.cc want.c && cmp -s original.c t/src/deep/Up.H ||
    fail "$case: -j $jobs: the other files were not done, or the failed one changed"
  "$quillet" -r t -check -j "$jobs" >"again.$jobs"; rc=$?
  [ "$rc" = 11 ] && [ "$(cat "again.$jobs")" = "? t/src/deep/Up.H would change" ] ||
    fail "$case: -j $jobs: after the run, status $rc: $(cat "again.$jobs")"
done
printf '%s\n' "? t/src/a.c would change" \
  "? t/src/deep/Up.H would change" "? t/src/deep/er/b.cc would change" >want.txt
cmp -s check.1 want.txt || fail "$case: -check printed [$(cat check.1)]"
cmp -s check.1 check.4 && cmp -s run.1 run.4 || fail "$case: -j 1 and -j 4 printed differently"
[ "$(cat run.1)" = "No such file: t/src/deep/Up.H" ] || fail "$case: printed [$(cat run.1)]"

case="directories synced at the end"
build
QUILLET_FAIL="fsync directory 5" "$faulty" -r t/src -j 2 >printed; rc=$?
[ "$rc" = 10 ] && cmp -s t/src/a.c want.c && grep -qx '? Error writing t/src' printed ||
  fail "$case: status $rc, printed [$(cat printed)]"

# What the walk cannot read, it says why.
case="unreadable directory"
build
printed=$(QUILLET_FAIL="open t/src/deep 13" "$faulty" -r -check t/src); rc=$?
[ "$rc" = 10 ] && [ "$(tail -n 1 <<<"$printed")" = "? Error reading t/src/deep: Permission denied" ] ||
  fail "$case: status $rc, [$printed]"

# Past PATH_MAX: the walk goes by open directories, and the settings above are found.
case="deeper than PATH_MAX"
long=$(printf 'd%.0s' {1..200})
mkdir deep && printf -- '-cpos 40\n' >deep/.quillet
(cd deep && for _ in $(seq 21); do mkdir "$long" && cd "$long" || exit; done; printf '%s' "$moves" >a.c)
"$quillet" -r -check deep >/dev/null; rc=$?
[ "$rc" = 11 ] || fail "$case: -check: status $rc, want 11"
"$quillet" -r -nobak deep; rc=$?
(cd deep && for _ in $(seq 20); do cd "$long" || exit; done
  "$quillet" -fi "$long/a.c" -fo - -noconf -cpos 40 >"$work/want.deep" && cmp -s "$long/a.c" "$work/want.deep" &&
    "$quillet" -fi "$long/a.c" -fo - | cmp -s - "$work/want.deep") ||
  fail "$case: status $rc, or the file or its settings were missed"

# Every name of a hard-linked file is run on: the swap gives each its own file.
case="hard links"
rm -rf h && mkdir h && printf '%s' "$moves" >h/a.c && ln h/a.c h/b.c
"$quillet" -r -nobak h && "$quillet" -r -check h >printed || fail "$case: still to change: $(cat printed)"

# A FIFO or a device is refused, never waited on.
case="not regular files"
mkfifo fifo.c
for path in fifo.c /dev/zero; do
  printed=$(timeout 10 "$quillet" -r -check "$path"); rc=$?
  [ "$rc" = 10 ] && [ "$printed" = "? Error reading $path" ] || fail "$case: $path: status $rc, [$printed]"
done

# A message of any length comes whole, past the slots of one worker.
case="long messages"
rm -rf m && mkdir m
for i in $(seq 20); do
  mkdir "m/$i" && printf 'w%.0s' {1..10000} >"m/$i/.quillet" && printf '%s' "$moves" >"m/$i/a.c"
done
"$quillet" -r -check -j 1 m >printed; rc=$?
[ "$rc" = 12 ] && [ "$(grep -c "unknown word $(printf 'w%.0s' {1..10000})\$" printed)" = 20 ] &&
  [ "$(wc -l <printed)" = 20 ] || fail "$case: status $rc, or messages cut"

# Few descriptors, many threads: the same diff, in order, with nothing missed.
case="few descriptors"
rm -rf many && for d in $(seq 40); do mkdir -p "many/$d" && for f in 1 2 3; do printf '%s' "$moves" >"many/$d/$f.c"; done; done
"$quillet" -r -diff -j 1 many >diff.1
(ulimit -n 64; "$quillet" -r -diff -j 64 many >diff.64); rc=$?
[ "$rc" = 11 ] && cmp -s diff.1 diff.64 || fail "$case: status $rc, or another diff"

# A name swapped for a link or a FIFO while a run waits: the link is not written through, the
# FIFO not waited on, and a directory swapped for a link is still written where the walk found it.
case="links planted during a run"
rm -rf p o && mkdir -p p/sub o && printf '%s' "$moves" | tee p/a.c p/b.c p/d.c p/sub/c.c o/v.c >/dev/null
cp o/v.c o.before
flock p/a.c sleep 2 & sleep 0.3
timeout 20 "$quillet" -r -j 1 p >printed & pid=$!
sleep 0.7
rm p/b.c p/d.c && ln -s "$work/o/v.c" p/b.c && mkfifo p/d.c && mv p/sub p/sub.old && ln -s "$work/o" p/sub
wait "$pid"; rc=$?
wait
[ "$rc" = 10 ] && [ "$(cat printed)" = "? Error reading p/b.c
? Error reading p/d.c" ] || fail "$case: status $rc, [$(cat printed)]"
cmp -s o/v.c o.before && [ "$(ls o)" = v.c ] || fail "$case: a file outside was written"
cmp -s p/a.c want.c && cmp -s p/sub.old/c.c want.c || fail "$case: the files found were not done"

if [ "$(id -u)" = 0 ]; then
  case="a directory that may be read but not searched"
  rm -rf u && mkdir -p u/ok u/shut && printf '%s' "$moves" | tee u/ok/a.c u/shut/b.c >/dev/null
  chmod 755 "$work" && chown -R nobody u && chmod 444 u/shut
  printed=$(setpriv --reuid=nobody --regid=nogroup --clear-groups "$quillet" -r -check u); rc=$?
  [ "$rc" = 10 ] && [ "$printed" = "? u/ok/a.c would change
? Error reading u/shut/b.c: Permission denied" ] || fail "$case: status $rc, [$printed]"
fi

# A tree's per-line report names the lines each file's own report names, in order, whatever -j.
case="per-line report"
build
for f in t/src/a.c t/src/deep/Up.H t/src/deep/er/b.cc; do  # the order of the walk
  "$quillet" -fi "$f" -check -report lines
done >alone.txt
for jobs in 1 2; do
  "$quillet" -r t -check -report lines -j "$jobs" >"report.$jobs"; rc=$?
  [ "$rc" = 11 ] && cmp -s "report.$jobs" alone.txt || fail "$case: -j $jobs: status $rc"
done
[ "$(wc -l <alone.txt)" = 3 ] || fail "$case: [$(cat alone.txt)]"

# Fewer threads than asked, or none, under a limit on processes: the run goes on with those that
# started, or on its own; every file is reported as with all of them. Root is held to the limit
# only as another user; any other user's own processes count, so only "none" is sure there. git
# cannot start under such a limit either, which is an error of its own: it is not asked here.
case="threads that cannot start"
# limited N ARGS...: quillet ARGS, its user allowed N processes and threads, as nobody when root.
# The leak checker of a sanitizer build needs a process of its own at the end: none is left it.
limited() {
  local limit=$1
  shift
  if [ "$(id -u)" = 0 ]; then
    (ulimit -u "$limit" && ASAN_OPTIONS=detect_leaks=0 exec setpriv --reuid=nobody --regid=nogroup \
      --clear-groups "$quillet" "$@")
  else
    (ulimit -u "$limit" && ASAN_OPTIONS=detect_leaks=0 exec "$quillet" "$@")
  fi
}
build && rm t/src/pipe.c
"$quillet" -r -check -nogit t -j 4 >threads.want
chmod 755 "$work" && chown -R nobody t 2>/dev/null
for limit in 1 2; do
  [ "$limit" = 1 ] || [ "$(id -u)" = 0 ] || continue
  limited "$limit" -r -check -nogit t -j 4 >threads.got 2>&1; rc=$?
  [ "$rc" = 11 ] && cmp -s threads.got threads.want ||
    fail "$case: -check, at most $limit: status $rc, [$(head -c 300 threads.got)]"
done
# In place, the thread that removes temporary files on a signal cannot start either.
limited 1 -r -nogit t -j 4 >threads.got 2>&1; rc=$?
[ "$rc" = 0 ] && [ ! -s threads.got ] && cmp -s t/src/deep/er/b.cc want.c ||
  fail "$case: in place: status $rc, [$(head -c 300 threads.got)]"

case="refused with -r"
build
before=$(stamp)
for args in "-fo out.c" "-fi -"; do
  # shellcheck disable=SC2086
  "$quillet" -r t $args >printed; rc=$?
  [ "$rc" = 9 ] && [ -s printed ] || fail "$case: $args: status $rc, printed [$(cat printed)]"
done
[ "$before" = "$(stamp)" ] && [ ! -e out.c ] || fail "$case: something was touched"

finish
