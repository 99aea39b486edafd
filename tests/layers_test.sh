#!/usr/bin/env bash
# Every include points down: a room of src/ includes only its own headers and those of rooms on a
# lower floor, so that no room depends on one that uses it.
# Usage: layers_test.sh path/to/source/tree
set -u
root=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$root/tests/common.sh"

# The floors, top first; rooms on one line share a floor and include none of each other.
floors=(
  "main"
  "tree"
  "run"
  "rewrite"
  "settings cli"
  "options"
  "layout diff"
  "io scanner"
  "platform"
  "base"
)
declare -A floor
for i in "${!floors[@]}"; do
  for room in ${floors[$i]}; do floor[$room]=$i; done
done

# check ROOM FILE: fails for every include of FILE that does not point down from ROOM.
check() {
  local room=$1 file=$2 target
  while IFS= read -r target; do
    [ "$target" = "$room" ] && continue
    if [ -z "${floor[$target]:-}" ]; then
      fail "$file includes from $target/, a room with no floor"
    elif [ "${floor[$target]}" -le "${floor[$room]}" ]; then
      fail "$file ($room) includes from $target/, which is not below it"
    fi
  done < <(sed -nE 's:^#include "([a-z_]+)/.*:\1:p' "$file" | sort -u)
}

cd "$root/src" || exit 1
while IFS= read -r file; do
  room=${file%%/*}
  [ "$room" = "$file" ] && room=main
  if [ -z "${floor[$room]:-}" ]; then
    fail "$file is in $room/, a room with no floor"
    continue
  fi
  check "$room" "$file"
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's:^\./::' | sort)

# The check must see an include that points up, and one across a floor.
mkdir -p "$work/io" "$work/layout"
printf '#include "run/run.h"\n' >"$work/io/up.h"
printf '#include "diff/diff.h"\n' >"$work/layout/across.h"
for sample in io/up.h layout/across.h; do
  found=$(cd "$work" && check "${sample%%/*}" "$sample")
  [[ $found == FAIL* ]] || fail "the check misses $sample"
done
finish
