#!/usr/bin/env bash
# Runs quillet on every sample in tests/data in both styles and checks the output byte for byte
# against the expected file beside it (NAME.c.block, NAME.c.cpp). Every output must also be stable
# (a second run changes nothing), keep the number of lines, and differ from its input only in
# whitespace and comment markers, line by line. The compiler judges too, in ISO modes that read
# trigraphs: what it makes of the code must not change.
# Usage: layout_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
data=$(cd "$(dirname "$0")/data" && pwd)
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"

# Prints the first line pair of $1 and $2 that differs in more than whitespace and markers.
code_differs() {
  awk 'function bare(s) {
         gsub(/\/\/\//, "//", s); gsub(/\/\*\*/, "/*", s)  # "///" and "/**" trade places
         gsub(/[ \t\r\v\f]|\/\*|\*\/|\/\//, "", s); return s }
       NR == FNR { a[FNR] = $0; n = FNR; next }
       { if (bare($0) != bare(a[FNR])) { print FNR ": " a[FNR] " => " $0; exit } m = FNR }
       END { if (n != m) print "line count " n " => " m }' "$1" "$2"
}

# judge FILE: the code of FILE as C11 and as C++14 see it, comments dropped and lines joined.
judge() {
  gcc -std=c11 -E -P -x c - <"$1" 2>/dev/null
  g++ -std=c++14 -E -P -x c++ - <"$1" 2>/dev/null
}

for input in "$data"/*.c; do
  judge "$input" >"$work/judged.in"
  name=$(basename "$input")
  for style in block cpp; do
    flag=""
    [ "$style" = cpp ] && flag=-cpp
    out="$work/$name.$style"
    "$quillet" -fi "$input" -fo "$out" $flag || fail "$name $style: status $?"
    cmp -s "$out" "$input.$style" || fail "$name $style: output differs from $name.$style"
    "$quillet" -fi "$out" -fo "$out.again" $flag
    cmp -s "$out" "$out.again" || fail "$name $style: a second run changes the output"
    changed=$(code_differs "$input" "$out")
    [ -z "$changed" ] || fail "$name $style: more than whitespace changed: $changed"
    judge "$out" | cmp -s - "$work/judged.in" || fail "$name $style: the compiler sees other code"
  done
done

finish
