#!/usr/bin/env bash
# Asking git what it ignores, in a hostile tree: no program that the tree's own configuration
# names, nor a git planted in it, is run; a git hook's variables do not stand for a nested
# repository; the run's wait on git is bounded, and an interrupted run ends the git it started.
# Usage: git_safety_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1
work=$(pwd -P)
command -v git >/dev/null || { echo "no git here: skipped"; exit 77; }
git_bin=$(dirname "$(command -v git)")
ask=(ls-files -z --others --ignored --exclude-standard --directory)

# repo DIR: a work tree whose out/ git ignores, with a file in and out of it that would change.
repo() {
  mkdir -p "$1/out" && git -C "$1" init -q && printf 'out/\n' >"$1/.gitignore"
  printf 'int x;                         // a comment\n' | tee "$1/a.c" >"$1/out/o.c"
}
# bait NAME: a script that leaves the file NAME here, a marker that it ran.
bait() { printf '#!/bin/sh\ntouch %s/%s\n' "$work" "$1"; }
# baited NAME DIR [VAR=VALUE...]: plain git asked in DIR runs the bait NAME (so that the test
# below can fail).
baited() {
  (cd "$2" && env "${@:3}" git "${ask[@]}" >/dev/null 2>&1)
  [ -e "$1" ] || fail "the bait $1 is no bait"
  rm -f "$1"
}

repo t
git config -f t/.git/config core.fsmonitor "$work/fsmonitor.sh; echo"
bait fsmonitor >fsmonitor.sh && chmod +x fsmonitor.sh
# A .git file naming a repository, outside the tree, whose configuration names the command.
repo t/gitfile && mv t/gitfile/.git elsewhere.git
echo "gitdir: $work/elsewhere.git" >t/gitfile/.git
git config -f elsewhere.git/config core.fsmonitor "$work/fsmonitor.sh; echo"
# The command in a file the configuration includes, by path and by condition.
printf '[core]\n\tfsmonitor = "%s/fsmonitor.sh; echo"\n' "$work" >included
repo t/include && git config -f t/include/.git/config include.path "$work/included"
repo t/include_if
git config -f t/include_if/.git/config "includeIf.gitdir:$work/t/.path" "$work/included"
# A partial clone fetches a missing object, here the blob of a .gitignore outside its sparse
# checkout, through the transport its configuration names.
repo t/lazy && mkdir t/lazy/sparse && echo x >t/lazy/sparse/x.c
missing=$(printf '1%.0s' {1..40})
git -C t/lazy update-index --add --cacheinfo "100644,$missing,sparse/.gitignore"
git -C t/lazy update-index --skip-worktree sparse/.gitignore
git -C t/lazy config core.repositoryformatversion 1
git -C t/lazy config extensions.partialClone origin
git -C t/lazy config remote.origin.url "$work/t/lazy"
git -C t/lazy config protocol.file.allow always
git -C t/lazy config remote.origin.uploadpack "$work/fetch.sh; false"
bait fetch >fetch.sh && chmod +x fetch.sh
# A git of the tree's own, which an empty or relative entry of PATH would find.
repo t/planted && mkdir -p t/planted/node_modules/.bin
bait planted | tee t/planted/git >t/planted/node_modules/.bin/git
chmod +x t/planted/git t/planted/node_modules/.bin/git
for dir in t t/gitfile t/include t/include_if; do
  baited fsmonitor "$dir"
done
baited fetch t/lazy
baited planted t/planted PATH=":$git_bin"
baited planted t/planted PATH="node_modules/.bin:$git_bin"
cp t/a.c original.c

ignored_files=$(find t -path '*/out/o.c' | sort)
# unharmed CASE: no marker was left, and no file git ignores was run on.
unharmed() {
  for marker in fsmonitor fetch planted; do
    [ -e "$marker" ] && fail "$1: the tree's $marker ran" && rm -f "$marker"
  done
  grep -q out/o.c printed && fail "$1: an ignored file was run on: $(grep -m1 out/o.c printed)"
  for f in $ignored_files; do
    cmp -s "$f" original.c || fail "$1: $f was rewritten"
  done
}
for path_var in ":$git_bin" "node_modules/.bin:$git_bin"; do
  for mode in -check -diff; do
    PATH=$path_var "$quillet" -r "$mode" t >printed
    unharmed "$mode, PATH=$path_var"
  done
done
PATH=":$git_bin" "$quillet" -r t >printed
unharmed "in place"

# A git hook's variables name the repository that ran it: each directory is still asked about
# its own.
repo h && repo h/nested
GIT_DIR=$work/h/.git GIT_WORK_TREE=$work/h GIT_INDEX_FILE=$work/h/.git/index \
  "$quillet" -r -check h >printed
printf '? h/a.c would change\n? h/nested/a.c would change\n' | cmp -s - printed ||
  fail "git hook's variables: [$(cat printed)]"

# Nested repositories each held by a FIFO planted as a .gitignore share one time to answer in:
# each is reported, and the run waits on git for no longer than that.
for n in 1 2 3 4 5 6; do
  repo "held/r$n" && rm "held/r$n/.gitignore" && mkfifo "held/r$n/.gitignore"
done
started=$(date +%s%N)
QUILLET_GIT_TIMEOUT_MS=500 "$quillet" -r -check held >printed; rc=$?
took=$((($(date +%s%N) - started) / 1000000))
for n in 1 2 3 4 5 6; do echo "? Error reading held/r$n: git did not answer in time"; done |
  cmp -s - printed && [ "$rc" = 10 ] || fail "held repositories: status $rc, [$(cat printed)]"
[ "$took" -lt 2000 ] || fail "held repositories: the run waited $took ms on git"

# An interrupted run ends the git it started, here held by a FIFO.
repo sig && rm sig/.gitignore && mkfifo sig/.gitignore
QUILLET_GIT_TIMEOUT_MS=60000 "$quillet" -r -check sig >/dev/null &
quillet_pid=$!
for _ in $(seq 100); do
  git_pid=$(ps -o pid= --ppid "$quillet_pid") && break
  sleep 0.05
done
[ -n "$git_pid" ] || fail "git was not started in sig"
kill -TERM "$quillet_pid" && wait "$quillet_pid"; rc=$?
# in_sig: git is still at work in sig.
in_sig() { [ "$(readlink "/proc/${git_pid// /}/cwd" 2>/dev/null)" = "$work/sig" ]; }
for _ in $(seq 40); do in_sig || break; sleep 0.05; done
in_sig && fail "git was left running after SIGTERM" && kill -KILL $git_pid
[ "$rc" = 143 ] || fail "interrupted run: status $rc"

finish
