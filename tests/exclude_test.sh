#!/usr/bin/env bash
# What a project leaves alone in a tree: paths excluded by its settings files or the command line
# (walked or named), and what git ignores, asked of git itself.
# Usage: exclude_test.sh path/to/quillet path/to/quillet_faults (its system calls fail as
#   QUILLET_FAIL says)
set -u
quillet=$(realpath "$1")
faulty=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

moves='int x;                         // a comment'
# make FILE...: each file, with a line that would move.
make() { for f in "$@"; do mkdir -p "$(dirname "$f")" && printf '%s\n' "$moves" >"$f"; done; }
# checked ARGS...: the files `quillet -r -check ARGS` names, one per line, sorted.
checked() {
  env ${run_env:-} "$quillet" -r -check "$@" | sed -n 's/^? \(.*\) would change$/\1/p' | sort
}
# expect NAME "FILE..." ARGS...: those files, and only those, would change.
expect() {
  local name=$1 want
  want=$(printf '%s\n' $2 | sort)
  shift 2
  [ "$(checked "$@")" = "$want" ] || fail "$name: got [$(checked "$@" | tr '\n' ' ')]"
}

make p/keep.c p/third_party/lib.c p/src/third_party/x.c p/src/a.pb.h p/src/keep.c \
  p/src/generated/g.c p/src/generated/g.h p/src/sub/generated/g.c p/vendor/v.c p/src/vendor/v.c \
  p/src/x.c p/y/x.c/z.c
# A name at any depth, a path from the settings file's directory, a directory only; and a
# settings file below, with options of its own, under the same exclusions.
printf -- '-exclude third_party -exclude *.pb.h\n-exclude src/generated/*.c -exclude /vendor\n-exclude x.c/\n' >p/.quillet
printf -- '-cpos 40\n' >p/src/.quillet
kept="p/keep.c p/src/keep.c p/src/generated/g.h p/src/sub/generated/g.c p/src/vendor/v.c p/src/x.c"
expect "walked" "$kept" p
expect "named" "p/src/keep.c p/src/generated/g.h" p/src/a.pb.h p/third_party/lib.c p/src/keep.c p/vendor/v.c \
  p/src/generated
expect "command line" "p/src/x.c" p -exclude 'keep.c' -exclude p/src/generated \
  -exclude 'p/src/*/' -exclude p/src/vendor
# Absolute patterns match absolute paths: the tree named absolute, or from here.
expect "absolute" "p/src/x.c" p -exclude "$work/p/keep.c" -exclude "$work/p/src/*/" \
  -exclude "$work/p/*/k*.c" -exclude "$work/p/src/vendor"
expect "absolute, named absolute" "$work/p/src/x.c" "$work/p" -exclude "$work/p/keep.c" \
  -exclude "$work/p/src/*/" -exclude "$work/p/*/k*.c" -exclude "$work/p/src/vendor"
expect "absolute, a file named" "" "$work/p/keep.c" ./p/src/keep.c -exclude "$work/p/*keep.c" \
  -exclude "$work/p/src"
expect "-noconf" "$(find p -type f -name '*.[ch]')" p -noconf
"$quillet" -fi p/src/a.pb.h -check >/dev/null
[ $? = 11 ] || fail "a file named with -fi is run, excluded or not"

if command -v git >/dev/null; then
  # In a work tree, what git ignores is not walked; a file git tracks is, ignored or not.
  make g/build/CMakeFiles/CMakeCCompilerId.c g/src/a.c g/src/x.gen.c g/src/tracked.gen.c \
    g/nested/b.c g/nested/out/o.c
  printf 'build/\n*.gen.c\n' >g/.gitignore
  git -C g init -q && git -C g add -A && git -C g add -f src/tracked.gen.c
  git -C g/nested init -q && printf 'out/\n' >g/nested/.gitignore
  expect "git" "g/src/a.c g/src/tracked.gen.c g/nested/b.c" g
  expect "git, from below the top" "g/src/a.c g/src/tracked.gen.c" g/src
  everything=$(find g -type f -name '*.c')
  expect "-nogit" "$everything" g -nogit
  run_env=PATH=/nowhere expect "git not found" "$everything" g
  # A git that is there but cannot be started is no git that ignores nothing: the tree is not
  # walked, and the reason is told.
  # As with descriptors or processes used up (ulimit -n, ulimit -u): the pipe, or the spawn, fails.
  for fault in "pipe - 24:Too many open files" \
    "posix_spawn /git 11:Resource temporarily unavailable"; do
    printed=$(QUILLET_FAIL="${fault%%:*}" "$faulty" -r -check g/src); rc=$?
    [ "$rc" = 10 ] && [ "$printed" = "? Error reading g/src: ${fault#*:}" ] ||
      fail "git that cannot start (${fault%%:*}): status $rc, [$printed]"
  done
  mkdir crashing && printf '#!/bin/sh\nkill -SEGV $$\n' >crashing/git && chmod +x crashing/git
  printed=$(PATH="$work/crashing" "$quillet" -r -check g/src); rc=$?
  [ "$rc" = 10 ] && [ "$printed" = "? Error reading g/src: git was ended by a signal" ] ||
    fail "git that crashed: status $rc, [$printed]"
  if [ "$(id -u)" = 0 ]; then
    # git refuses root a repository another user owns: its own rules are not applied.
    chown -R 65534 g/nested
    expect "owned by another" "g/src/a.c g/src/tracked.gen.c g/nested/b.c g/nested/out/o.c" g
    chown -R 0 g/nested
  fi
  # A nested repository git cannot read (its .git names one that is gone) keeps the rules of the
  # repository around it, walked or named.
  make g/src/stale/x.gen.c g/src/stale/k.c && echo 'gitdir: /gone' >g/src/stale/.git
  git -C g check-ignore -q src/stale/x.gen.c || fail "git does not ignore src/stale/x.gen.c"
  expect "stale .git" "g/src/a.c g/src/tracked.gen.c g/src/stale/k.c" g/src
  expect "stale .git, named" "g/src/stale/k.c" g/src/stale
  # A FIFO planted as a .gitignore holds git: the walk gives up on that tree and says so, after
  # the time the environment sets.
  make h/a.c && git -C h init -q && mkfifo h/.gitignore
  started=$SECONDS
  printed=$(QUILLET_GIT_TIMEOUT_MS=300 "$quillet" -r -check h); rc=$?
  [ "$rc" = 10 ] && [ "$printed" = "? Error reading h: git did not answer in time" ] ||
    fail "git held by a FIFO: status $rc, [$printed]"
  [ $((SECONDS - started)) -lt 5 ] || fail "the time git may take was not the one set"
fi

finish
