#!/usr/bin/env bash
# Times the tree mode on a copy of /usr/include, page cache warm, runs alternating, medians:
#   quillet -r -check -j 1 TREE, and with the default -j, against
#   find TREE -type f -print0 | xargs -0 cat > /dev/null;
#   one process per file, find TREE -type f -exec quillet -check -fi {} \; (fewer runs: slow);
#   in place over a fresh copy, with and without -nobak, against cp -r, and again with every
#   fsync made a no-op (preloaded), which tells what the per-file durability costs;
# and prints the peak memory of a check over 100 files and over the whole tree.
# Not a test: nothing here passes or fails.
#
# Usage: bench/tree.sh [path/to/quillet] [runs]
#   Builds build/quillet (Release) when no binary is given.
set -eu
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
cd "$work"

# The durability cost: the same runs with fsync doing nothing.
printf 'int fsync(int fd) { (void)fd; return 0; }\n' >no_sync.c
cc -shared -fPIC -O2 -o no_sync.so no_sync.c

cp -r /usr/include tree
mkdir small
# A hundred files from all over the tree, the four largest among them, so that every worker of
# both runs fills its buffers and only the number of files differs.
{
  find tree -type f -printf '%s %p\n' | sort -n | tail -n 4 | cut -d' ' -f2-
  find tree -type f | sort | awk -v n="$(find tree -type f | wc -l)" 'NR % int(n / 96) == 0' | head -n 96
} | awk '{ print $0 "\t" "small/" NR ".h" }' | while IFS=$'\t' read -r from to; do cp "$from" "$to"; done
sync

# time_ms COMMAND...: milliseconds the command took.
time_ms() {
  local t0 t1
  t0=$(now)
  "$@" >/dev/null 2>&1 || true
  t1=$(now)
  echo $(((t1 - t0) / 1000000))
}
# compare FRESH N NAME=COMMAND...: runs each command N times, alternating, and prints each median.
# With FRESH=1 each run gets a fresh copy of the tree, made and on the disk before the timing.
compare() {
  local fresh=$1 n=$2 i entry
  shift 2
  for entry in "$@"; do : >"times.${entry%%=*}"; done
  for ((i = 0; i < n; i++)); do
    for entry in "$@"; do
      [ "$fresh" = 1 ] && rm -rf copy copy2 && cp -r tree copy && sync
      time_ms bash -c "${entry#*=}" >>"times.${entry%%=*}"
    done
  done
  for entry in "$@"; do
    printf '  %-16s %7s ms   %s\n' "${entry%%=*}" "$(median <"times.${entry%%=*}")" "${entry#*=}"
  done
}

echo "quillet: $quillet"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(uname -sr)"
echo "tree: $(find tree -type f | wc -l) files, $(du -sm tree | cut -f1) MB (a copy of /usr/include);" \
  "$("$quillet" -r -check tree | wc -l) would change"
find tree -type f -print0 | xargs -0 cat >/dev/null

echo "== checking the tree, $runs runs each"
compare 0 "$runs" \
  "cat=find tree -type f -print0 | xargs -0 cat > /dev/null" \
  "check -j 1=$quillet -r -check -j 1 tree" \
  "check=$quillet -r -check tree"
echo "== one process per file, 3 runs"
compare 0 3 "per file=find tree -type f -exec $quillet -check -fi {} \\;"

in_place_runs=$(((runs + 1) / 2))
echo "== in place over a fresh copy, $in_place_runs runs each"
compare 1 "$in_place_runs" \
  "cp -r=cp -r tree copy2" \
  "in place=$quillet -r copy" \
  "-nobak=$quillet -r -nobak copy" \
  "no fsync=LD_PRELOAD=$work/no_sync.so $quillet -r copy" \
  "-nobak no fsync=LD_PRELOAD=$work/no_sync.so $quillet -r -nobak copy"

echo "== peak memory of a check, default -j and -j 1"
for t in small tree; do
  for j in 0 1; do
    printf '  %-6s %4s files -j %s: %s KiB\n' "$t" "$(find "$t" -type f | wc -l)" "$j" \
      "$(/usr/bin/time -f %M "$quillet" -r -check -j "$j" "$t" 2>&1 >/dev/null | tail -n 1)"
  done
done
