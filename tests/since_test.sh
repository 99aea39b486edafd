#!/usr/bin/env bash
# "-r -since REV" against what a tree and a user can make git do: a FIFO planted as
# .gitattributes ends the run.
# Usage: since_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1
command -v git >/dev/null || finish
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL="$work/global"
: >global

numbered() { for i in $(seq "$1"); do echo "int v$i;                         // c$i"; done; }
commit() { git -c user.name=t -c user.email=t@t commit -qam "$1"; }
# repo DIR FILE...: a repository in DIR whose first commit holds FILEs, 10 numbered lines each.
repo() {
  rm -rf "$1" && git init -q "$1" && (cd "$1" && shift && for f; do
    mkdir -p "$(dirname "$f")" && numbered 10 >"$f"; done && git add "$@" && commit one)
}

# A FIFO planted as .gitattributes holds git: the run says so, and ends within git's time.
repo fifo a.c && sed -i 2s/v2/W2/ fifo/a.c && mkfifo fifo/.gitattributes
(cd fifo && SECONDS=0 && "$quillet" -r -check -since HEAD >../fifo.out
  echo "$? $SECONDS" >../fifo.rc) &
fifo_run=$!

wait "$fifo_run"
read -r rc seconds <fifo.rc
[ "$rc" = 10 ] && [ "$seconds" -lt 30 ] &&
  [ "$(cat fifo.out)" = "? Error reading the changes since HEAD: git did not answer in time" ] ||
  fail "a FIFO as .gitattributes: status $rc after ${seconds}s, [$(cat fifo.out)]"
finish
