#!/usr/bin/env bash
# In-place runs that meet on one file: eight at once, round after round, some through a link to
# the file, while another process reads the file's name over and over. The name must always hold
# a whole text, the one before or the one after; after each round the file holds the result and
# its backup a whole text.
# Usage: concurrent_test.sh path/to/quillet path/to/observe [rounds]
set -u
quillet=$(realpath "$1")
observe=$(realpath "$2")
rounds=${3:-30}
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

seq 1 20000 | awk '{ printf "int value_%d = %d;                     // item %d\n", $1, $1, $1 }' >before.c
"$quillet" -fi before.c -fo after.c || fail "the first run failed"
ln -s a.c link.c
cp before.c a.c

"$observe" a.c before.c after.c stop >observed.txt &
observer=$!
lost=0
for round in $(seq 1 "$rounds"); do
  cp before.c a.c.new && mv a.c.new a.c  # in one step, for the observer
  rm -f a.c.bak
  # Every other round, half the runs reach the file through the link.
  pids=()
  for run in 1 2 3 4 5 6 7 8; do
    [ $((round % 2)) = 0 ] && [ $((run % 2)) = 0 ] && path=link.c || path=a.c
    "$quillet" -fi "$path" >"out.$run" &
    pids+=($!)
  done
  for run in 1 2 3 4 5 6 7 8; do
    wait "${pids[$((run - 1))]}" || fail "round $round: run $run ended with status $?: $(head -n 1 "out.$run")"
  done
  if ! cmp -s a.c after.c; then
    lost=$((lost + 1))
    fail "round $round: a.c does not hold the result"
  fi
  cmp -s a.c.bak before.c || cmp -s a.c.bak after.c || fail "round $round: the backup is not whole"
  [ ! -e a.c.tmp ] || fail "round $round: a temporary was left"
done
touch stop
wait "$observer" || fail "the file's name did not always hold a whole text: $(cat observed.txt)"
echo "$rounds rounds, $lost lost the file; $(cat observed.txt)"
finish
