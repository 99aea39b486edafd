#!/usr/bin/env bash
# Times `quillet -fi big.c -fo out.c` against `cat big.c > out.c` on inputs of 1, 8 and 64 MiB,
# with the page cache warm, and prints the medians, their ratio, throughput and peak memory.
# Not a test: nothing here passes or fails.
#
# Usage: bench/throughput.sh [path/to/quillet] [runs]
#   Builds build/quillet (Release) when no binary is given.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
quillet=${1:-}
runs=${2:-11}
if [ -z "$quillet" ]; then
  cmake -S "$here/.." -B "$here/../build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$here/../build" -j --target quillet >/dev/null
  quillet="$here/../build/quillet"
fi
quillet=$(realpath "$quillet")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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

now() { date +%s%N; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# measure INPUT: prints "cat_ms quillet_ms"; runs alternate so that both see the same machine.
measure() {
  local input=$1 out="$work/out.c" i t0 t1 t2 t3
  cat "$input" >/dev/null
  "$quillet" -fi "$input" -fo "$out"
  : >"$work/cat.times"
  : >"$work/quillet.times"
  # The output is removed before each run: emptying the last run's file, whose pages may still be
  # on their way to the disk, would time the disk rather than the program.
  for ((i = 0; i < runs; i++)); do
    rm -f "$out"
    t0=$(now)
    cat "$input" >"$out"
    t1=$(now)
    rm -f "$out"
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
printf '%-16s %9s %10s %12s %7s %10s %9s\n' input MiB "cat ms" "quillet ms" ratio "MB/s" "peak KiB"
for name in headers-1M headers-8M headers-64M comments-64M; do
  input="$work/$name.c"
  read -r cat_us quillet_us < <(measure "$input")
  size=$(stat -c %s "$input")
  awk -v n="$name" -v s="$size" -v c="$cat_us" -v q="$quillet_us" -v p="$(peak_kib "$input")" \
    'BEGIN { printf "%-16s %9.1f %10.1f %12.1f %7.2f %10.0f %9d\n",
             n, s / 1048576, c / 1000, q / 1000, q / c, s / q, p }'
done
echo "comments-64M: $(awk 'NR == FNR { a[FNR] = $0; next } $0 != a[FNR] { n++ } END { print n + 0 }' \
  "$work/comments-64M.c" "$work/out.c") of $(wc -l <"$work/comments-64M.c") lines rewritten"
