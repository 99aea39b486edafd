#!/usr/bin/env bash
# Times `quillet -fi big.c -fo out.c` against `cat big.c > out.c` on inputs of 1, 8 and 64 MiB,
# with the page cache warm, and prints the medians, their ratio, throughput and peak memory; then
# the layout of groups (`-align group -asis`) against the default one on the comments to move.
# Not a test: nothing here passes or fails.
#
# Usage: bench/throughput.sh [path/to/quillet] [runs]
#   Builds build/quillet (Release) when no binary is given.
set -eu
# shellcheck source=bench/common.sh
source "$(dirname "$0")/common.sh"
MIB=$((1024 * 1024))

# take BYTES FILE: the whole lines among the first BYTES bytes of standard input.
take() { head -c "$1" | sed '$d' >"$2"; }

# The headers: C and C++ code as it is, most lines left unchanged.
find /usr/include -type f \( -name '*.h' -o -name '*.hpp' -o ! -name '*.*' \) -print0 |
  sort -z | xargs -0 cat >"$work/all_headers"
take $((64 * MIB)) "$work/headers-64M.c" <"$work/all_headers"
take $((8 * MIB)) "$work/headers-8M.c" <"$work/all_headers"
take $((1 * MIB)) "$work/headers-1M.c" <"$work/all_headers"
# Code lines of the headers, each given a trailing comment to move.
awk 'length($0) < 60 && /[;{}][ \t]*$/ && !/[\/"'"'"'*]/ {
       printf "%s%" (1 + NR % 40) "s// note %d on this line\n", $0, "", NR }' "$work/all_headers" >"$work/lines"
while [ "$(stat -c %s "$work/comments-64M.c" 2>/dev/null || echo 0)" -lt $((64 * MIB)) ]; do
  cat "$work/lines" >>"$work/comments-64M.c"
done
take $((64 * MIB)) "$work/comments.tmp" <"$work/comments-64M.c" && mv "$work/comments.tmp" "$work/comments-64M.c"
rm -f "$work/all_headers" "$work/lines"
# The inputs just written would otherwise go to the disk in the middle of the timings, on the same
# cores as the programs timed.
sync

# measure INPUT FRESH: prints "cat_us quillet_us", medians; runs alternate so that both see the same
# machine. With FRESH=0 the commands run exactly as written, each emptying the output file that the
# run before left (whose pages may still be on their way to the disk); with FRESH=1 the file is
# removed first, outside the timing, so that only the programs are timed.
measure() {
  local input=$1 fresh=$2 out="$work/out.c" i t0 t1 t2 t3
  cat "$input" >/dev/null
  "$quillet" -fi "$input" -fo "$out"
  : >"$work/cat.times"
  : >"$work/quillet.times"
  for ((i = 0; i < runs; i++)); do
    [ "$fresh" = 1 ] && rm -f "$out"
    t0=$(now)
    cat "$input" >"$out"
    t1=$(now)
    [ "$fresh" = 1 ] && rm -f "$out"
    t2=$(now)
    "$quillet" -fi "$input" -fo "$out"
    t3=$(now)
    echo $(((t1 - t0) / 1000)) >>"$work/cat.times"
    echo $(((t3 - t2) / 1000)) >>"$work/quillet.times"
  done
  echo "$(median <"$work/cat.times") $(median <"$work/quillet.times")"
}

peak_kib() { /usr/bin/time -f %M "$quillet" -fi "$1" -fo "$work/out.c" 2>&1 >/dev/null | tail -n 1; }

echo "quillet: $quillet"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(uname -sr)"
echo "runs: $runs per input, medians"
for fresh in 0 1; do
  if [ "$fresh" = 0 ]; then
    echo "== as written: \`cat big.c > out.c\` and \`quillet -fi big.c -fo out.c\`, out.c left by the run before"
  else
    echo "== out.c removed before each run (outside the timing)"
  fi
  printf '%-14s %7s %8s %11s %6s %9s %9s %9s\n' input "in MiB" "cat ms" "quillet ms" ratio "in MB/s" "out MiB" "peak KiB"
  for name in headers-1M headers-8M headers-64M comments-64M; do
    input="$work/$name.c"
    read -r cat_us quillet_us < <(measure "$input" "$fresh")
    "$quillet" -fi "$input" -fo "$work/out.c"
    awk -v n="$name" -v s="$(stat -c %s "$input")" -v o="$(stat -c %s "$work/out.c")" \
      -v c="$cat_us" -v q="$quillet_us" -v p="$(peak_kib "$input")" \
      'BEGIN { printf "%-14s %7.1f %8.1f %11.1f %6.2f %9.0f %9.1f %9d\n",
               n, s / 1048576, c / 1000, q / 1000, q / c, s / q, o / 1048576, p }'
  done
done
# layouts INPUT OPTIONS...: prints "default_us options_us", medians of runs that alternate, the
# output file removed before each, outside the timing.
layouts() {
  local input=$1 out="$work/out.c" i t0 t1
  shift
  : >"$work/default.times"
  : >"$work/options.times"
  for ((i = 0; i < runs; i++)); do
    rm -f "$out"
    t0=$(now)
    "$quillet" -noconf -fi "$input" -fo "$out"
    t1=$(now)
    echo $(((t1 - t0) / 1000)) >>"$work/default.times"
    rm -f "$out"
    t0=$(now)
    "$quillet" -noconf -fi "$input" -fo "$out" "$@"
    t1=$(now)
    echo $(((t1 - t0) / 1000)) >>"$work/options.times"
  done
  echo "$(median <"$work/default.times") $(median <"$work/options.times")"
}
echo "== comments-64M: the default layout and -align group -asis, out.c removed before each run"
read -r default_us group_us < <(layouts "$work/comments-64M.c" -align group -asis)
awk -v d="$default_us" -v g="$group_us" \
  'BEGIN { printf "default %.1f ms, -align group -asis %.1f ms, ratio %.2f\n", d / 1000, g / 1000, g / d }'

"$quillet" -fi "$work/comments-64M.c" -fo "$work/out.c"
echo "comments-64M: $(awk 'NR == FNR { a[FNR] = $0; next } $0 != a[FNR] { n++ } END { print n + 0 }' \
  "$work/comments-64M.c" "$work/out.c") of $(wc -l <"$work/comments-64M.c") lines rewritten"
