#!/usr/bin/env bash
# Runs quillet over every C and C++ header under /usr/include and over this project's own sources,
# each copied into a temporary directory, in both styles and in a tight layout that glues comments
# to their code, and lets the compiler judge the result:
# `gcc -fpreprocessed -dD -E` drops the comments and expands nothing, so its output for a file and
# for the rewritten file must be identical when only whitespace and comment markers moved. Each
# output must also keep the number of lines and come back unchanged from a second run.
# Usage: corpus_test.sh path/to/quillet path/to/project
# With QUILLET_CORPUS_EVERY=N only every Nth header is checked (for slow builds, such as one with
# sanitizers).
set -u
quillet=$(realpath "$1")
project=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Files the judge itself reads wrongly, each with the reason. (None so far.)
exceptions=()

# judge FILE LANGUAGE: the compiler's view of FILE's code, comments stripped. Read from standard
# input, so that the line markers name the same file for input and output. The compiler leaves a
# backslash-newline inside a comment as it is here, so lines are joined first, as a compiler
# joins them: a line moved into or out of a continued comment then shows.
judge() {
  local std=c++20
  [ "$2" = c ] && std=gnu17
  perl -0777 -pe 's/\\[ \t\f\v]*(?:\r\n|\n|\r)//g' "$1" |
    gcc -fpreprocessed -dD -E -x "$2" -std="$std" - 2>/dev/null
}
lines() { awk 'END { print NR }' "$1"; }

# check_file PATH: prints one line, "ok N" (N lines rewritten) or "FAIL reason".
check_file() {
  local file=$1 language=c++ dir
  case "$file" in *.c) language=c ;; esac
  dir=$(mktemp -d "$work/file.XXXXXX") && cp "$file" "$dir/in" || {
    echo "FAIL $file: cannot copy"
    return
  }
  local style flag rewritten=0
  for style in block cpp tight; do
    case "$style" in
      block) flag="" ;;
      cpp) flag=-cpp ;;
      # Comments moved hard against their code: no padding, so every line is checked in full.
      tight) flag="-th 4 -cpos 5 -csz 4 -tabs 8 -utf8" ;;
    esac
    if ! "$quillet" -fi "$dir/in" -fo "$dir/out" $flag >/dev/null; then
      echo "FAIL $file ($style): status $?"
      return
    fi
    "$quillet" -fi "$dir/out" -fo "$dir/again" $flag >/dev/null
    if ! cmp -s "$dir/out" "$dir/again"; then
      echo "FAIL $file ($style): a second run changes it"
      return
    fi
    if [ "$(lines "$dir/in")" != "$(lines "$dir/out")" ]; then
      echo "FAIL $file ($style): the number of lines changed"
      return
    fi
    cmp -s "$dir/in" "$dir/out" && continue  # nothing moved: nothing for the judge to see
    [ -e "$dir/in.judged" ] || judge "$dir/in" "$language" >"$dir/in.judged"
    judge "$dir/out" "$language" >"$dir/out.judged"
    if ! cmp -s "$dir/in.judged" "$dir/out.judged"; then
      echo "FAIL $file ($style): the code changed"
      diff "$dir/in.judged" "$dir/out.judged" | head -n 6 | sed 's/^/    /'
      return
    fi
    rewritten=$((rewritten + $(awk 'NR == FNR { a[FNR] = $0; next } $0 != a[FNR] { n++ }
                                    END { print n + 0 }' "$dir/in" "$dir/out")))
  done
  rm -rf "$dir"
  echo "ok $rewritten"
}
export -f check_file judge lines
export quillet work

list="$work/files"
{
  find /usr/include -type f \( -name '*.h' -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \
    -o -name '*.tcc' -o -name '*.c' -o ! -name '*.*' \) -print0
  find "$project/src" "$project/tests" "$project/bench" "$project/examples" -type f \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print0 2>/dev/null
} >"$list"
every=${QUILLET_CORPUS_EVERY:-1}
if [ "$every" -gt 1 ]; then
  tr '\0' '\n' <"$list" | awk -v n="$every" 'NR % n == 0 || /^\/usr\/include/ == 0' |
    tr '\n' '\0' >"$list.kept"
  mv "$list.kept" "$list"
fi
for skip in "${exceptions[@]}"; do
  tr '\0' '\n' <"$list" | grep -v -x -F "$skip" | tr '\n' '\0' >"$list.kept"
  mv "$list.kept" "$list"
done

results="$work/results"
xargs -0 -P "$(nproc)" -n 32 bash -c 'for file in "$@"; do check_file "$file"; done' _ \
  <"$list" >"$results"

files=$(grep -c '^ok ' "$results")
rewritten=$(awk '/^ok / { n += $2 } END { print n + 0 }' "$results")
failed=$(grep -c '^FAIL' "$results")
echo "$files files checked in three layouts, $rewritten lines rewritten, $failed failed"
if [ "$failed" -ne 0 ]; then
  grep -v '^ok ' "$results" | head -n 60
  exit 1
fi
# A tool that rewrites nothing would pass every check above.
if [ "$files" -lt $((1000 / every)) ] || [ "$rewritten" -lt $((1000 / every)) ]; then
  echo "FAIL: too few files or rewritten lines for the check to mean anything"
  exit 1
fi
echo "all passed"
