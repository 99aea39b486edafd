#!/usr/bin/env bash
# Runs quillet's tree mode over every C and C++ header under /usr/include and over this project's
# own sources, copied into a temporary directory, in both styles, in a tight layout that glues
# comments to their code, and in the layouts of groups, and lets the compiler judge the result:
# `gcc -fpreprocessed -dD -E` drops the comments and expands nothing, so its output for a file and
# for the rewritten file must be identical when only whitespace and comment markers moved. Each
# output must also keep the number of lines and come back unchanged from a second run.
# Usage: corpus_test.sh path/to/quillet path/to/project
# By default every 8th header is checked, which keeps the run short and still meets every kind of
# header; QUILLET_CORPUS_EVERY=1 checks all of them (.ci/run does), a larger N fewer.
set -u
quillet=$(realpath "$1")
project=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Files the judge itself reads wrongly, each with the reason. (None so far.)
exceptions=()

# join FROM TO FILE...: copies each FILE (relative) from the directory FROM into TO with its
# continued lines joined, as a compiler joins them. The compiler keeps a backslash-newline inside
# a comment here, which would hide a line moved into or out of a continued comment.
join() {
  perl -0777 -e 'my ($from, $to) = splice(@ARGV, 0, 2);
    for my $f (@ARGV) {
      open(my $in, "<", "$from/$f") or die "$from/$f"; my $t = <$in>; $t = "" unless defined $t;
      $t =~ s/\\[ \t\f\v]*(?:\r\n|\n|\r)//g;
      (my $d = "$to/$f") =~ s|/[^/]*$||; system("mkdir", "-p", $d) unless -d $d;
      open(my $out, ">", "$to/$f") or die "$to/$f"; print $out $t; }' "$@"
}
# judge DIRECTORY LANGUAGE FILE...: the compiler's view of the code of the files, comments
# stripped and nothing expanded, in one run; the line markers name the files as given.
judge() {
  local directory=$1 language=(-x c++ -std=c++20)
  [ "$2" = c ] && language=(-x c -std=gnu17)
  shift 2
  (cd "$directory" && gcc -fpreprocessed -dD -E "${language[@]}" "$@" 2>/dev/null)
}
# check_batch STYLE LANGUAGE FILE...: prints "FAIL ..." for each FILE whose code the compiler sees
# otherwise in STYLE/ than in in/. The files are judged together, and one by one on a difference.
check_batch() {
  local style=$1 language=$2 scratch="joined/$1.$BASHPID" file
  shift 2
  join in "$scratch/in" "$@" && join "$style" "$scratch/out" "$@"
  if ! cmp -s <(judge "$scratch/in" "$language" "$@") <(judge "$scratch/out" "$language" "$@"); then
    for file in "$@"; do
      if ! cmp -s <(judge "$scratch/in" "$language" "$file") <(judge "$scratch/out" "$language" "$file"); then
        echo "FAIL $file ($style): the code changed"
        diff <(judge "$scratch/in" "$language" "$file") <(judge "$scratch/out" "$language" "$file") |
          head -n 6 | sed 's/^/    /'
      fi
    done
  fi
  rm -rf "$scratch"
}
# line_counts TREE: "FILE LINES" for every non-empty file under TREE.
line_counts() {
  (cd "$1" && find . -type f -print0 | sort -z | xargs -0 awk '
    FNR == 1 && NR > 1 { print name, lines } { name = FILENAME; lines = FNR }
    END { if (NR > 0) print name, lines }')
}
export -f join judge check_batch

list="$work/files"
{
  find /usr/include -type f \( -name '*.h' -o -name '*.hh' -o -name '*.hpp' -o -name '*.hxx' \
    -o -name '*.tcc' -o -name '*.c' -o ! -name '*.*' \) -print0
  find "$project/src" "$project/tests" "$project/bench" "$project/examples" -type f \
    \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -print0 2>/dev/null
} >"$list"
every=${QUILLET_CORPUS_EVERY:-8}
if [ "$every" -gt 1 ]; then
  tr '\0' '\n' <"$list" | awk -v n="$every" 'NR % n == 0 || /^\/usr\/include/ == 0' |
    tr '\n' '\0' >"$list.kept"
  mv "$list.kept" "$list"
fi
for skip in "${exceptions[@]}"; do
  tr '\0' '\n' <"$list" | grep -v -x -F "$skip" | tr '\n' '\0' >"$list.kept"
  mv "$list.kept" "$list"
done
mkdir in joined
: >results
judged=0
tar -cf - --null -T "$list" 2>/dev/null | tar -xf - -C in
files=$(find in -type f | wc -l)
line_counts in >lines.in

summary=""
for style in block cpp tight column group keep; do
  case "$style" in
    block) flags=() ;;
    cpp) flags=(-cpp) ;;
    # Comments moved hard against their code: no padding, so every line is checked in full.
    tight) flags=(-th 4 -cpos 5 -csz 4 -tabs 8 -utf8) ;;
    # The layouts of groups, each with some of the options that go with them.
    column) flags=(-align column -cpp -pad tabs -tabs 8) ;;
    group) flags=(-align group -asis -trail -span 2 -th 4) ;;
    keep) flags=(-align keep -gap 2 -utf8 -tabs 4) ;;
  esac
  cp -a in "$style"
  # Every file is named, so that headers without a suffix are taken too.
  (cd "$style" && find . -type f -print0 | xargs -0 "$quillet" -r -nobak "${flags[@]}") >out.txt
  status=$?
  [ "$status" = 0 ] || echo "FAIL ($style): status $status: $(head -n 3 out.txt)" >>results
  (cd "$style" && find . -type f -print0 | xargs -0 "$quillet" -r -check "${flags[@]}") >again.txt
  [ -s again.txt ] && echo "FAIL ($style): a second run changes: $(head -n 3 again.txt)" >>results
  line_counts "$style" | cmp -s - lines.in ||
    echo "FAIL ($style): the number of lines changed: $(line_counts "$style" | diff lines.in - | head -n 4)" >>results
  diff -rq in "$style" | sed -n "s|^Files in/\(.*\) and $style/.* differ$|\1|p" >changed.txt
  summary="$summary $(wc -l <changed.txt) files changed in $style,"
  grep '\.c$' changed.txt | tr '\n' '\0' |
    xargs -0 -r -P "$(nproc)" -n 100 bash -c 'check_batch "$@"' _ "$style" c >>results
  grep -v '\.c$' changed.txt | tr '\n' '\0' |
    xargs -0 -r -P "$(nproc)" -n 100 bash -c 'check_batch "$@"' _ "$style" c++ >>results
  judged=$((judged + $(wc -l <changed.txt)))
  rm -rf "$style"
done

failed=$(grep -c '^FAIL' results 2>/dev/null)
echo "$files files checked in six layouts:${summary%,}; ${failed:-0} failed"
if [ "${failed:-0}" -ne 0 ]; then
  grep -A 6 '^FAIL' results | head -n 60
  exit 1
fi
# A tool that rewrites nothing would pass every check above.
if [ "$files" -lt $((1000 / every)) ] || [ "$judged" -lt $((1000 / every)) ]; then
  echo "FAIL: too few files or changes for the check to mean anything"
  exit 1
fi
echo "all passed"
