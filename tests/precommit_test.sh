#!/usr/bin/env bash
# Every pre-commit configuration that docs/ci.md and docs/clang-format.md give, and the hooks of
# .pre-commit-hooks.yaml, run by the real pre-commit in a repository made here: each refuses a
# commit whose comments are not lined up, lines them up as it says, and passes them once lined up.
# Usage: precommit_test.sh path/to/quillet path/to/source/tree
set -u
quillet=$(realpath "$1")
source_tree=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
command -v pre-commit >/dev/null || { echo "pre-commit is not installed"; exit 77; }
git -C "$source_tree" rev-parse --verify -q HEAD >/dev/null || { echo "the source tree is no git repository"; exit 77; }
cd "$work" || exit 1

# pre-commit and git read nothing of the user's; hooks find this quillet first on PATH.
mkdir bin home && ln -s "$quillet" bin/quillet
export PATH="$work/bin:$PATH" HOME="$work/home" PRE_COMMIT_HOME="$work/home/cache" \
  GIT_CONFIG_NOSYSTEM=1 GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@t GIT_COMMITTER_NAME=t \
  GIT_COMMITTER_EMAIL=t@t
git config --global init.defaultBranch main
git config --global protocol.file.allow always

# yaml_blocks PAGE: the page's yaml blocks, each ended by a line "---".
yaml_blocks() { awk '$0 == "```yaml" { on = 1; next } /^```$/ { if (on) print "---"; on = 0 } on' "$1"; }
# block PAGE N: the page's Nth yaml block.
block() { yaml_blocks "$1" | awk -v n="$2" '/^---$/ { k++; next } k == n - 1'; }

misaligned='int count;                         // number of items'
# fresh: a repository with a committed lined-up file, then every file the walk takes changed.
fresh() {
  rm -rf r && git init -q r && cd r || exit 1
  "$quillet" -fi - -fo kept.c <<<"$misaligned"
  git add kept.c && git commit -qm first
  for ext in c h cc cpp cxx c++ hh hpp hxx h++ inl ipp tcc C H; do
    printf '%s\n' "$misaligned" >"f.$ext"
  done
  git add . && cd ..
}
# lined_up: whether every C and C++ file of r is as quillet lines it up.
lined_up() { "$quillet" -r -check r >/dev/null; }

# The shipped hooks, as a user of the framework tries them.
fresh
(cd r && pre-commit try-repo "$source_tree" quillet-check --all-files >../out 2>&1)
[ $? = 1 ] || fail "quillet-check passed files that would change: $(tail -n 5 out)"
for ext in c++ h++ ipp tcc C; do
  grep -q "f\.$ext would change" out || fail "quillet-check was not given f.$ext"
done
(cd r && pre-commit try-repo "$source_tree" quillet --all-files >../out 2>&1)
lined_up || fail "the quillet hook did not line the files up: $(tail -n 5 out)"
ls r/*.bak >/dev/null 2>&1 && fail "the quillet hook left backups"
(cd r && pre-commit try-repo "$source_tree" quillet-check --all-files >../out 2>&1) ||
  fail "quillet-check refused lined-up files: $(tail -n 5 out)"

# quillet-changed touches only the line that was changed.
fresh
(cd r && git commit -qm second && printf '%s\n' "$misaligned" 'int b;                   // kept' >g.c &&
  git add g.c && git commit -qm third &&
  printf '%s\n' "$misaligned" 'int b;                   // kept' 'int c;                   // new' >g.c &&
  git add g.c && pre-commit try-repo "$source_tree" quillet-changed --all-files >../out 2>&1)
{ printf '%s\n' "$misaligned" 'int b;                   // kept'
  "$quillet" -fi - -fo - <<<'int c;                   // new'; } >want.c
cmp -s r/g.c want.c || fail "quillet-changed did not change only the new line: $(diff r/g.c want.c)"

# The page's own configurations, with Quillet's repository and revision filled in.
sha=$(git -C "$source_tree" rev-parse HEAD)
fresh
block "$source_tree/docs/ci.md" 1 |
  sed -e "s|repo: https://example.invalid/quillet.git|repo: $source_tree|" \
      -e "s|rev: [0-9a-f]\{40\}|rev: $sha|" >r/.pre-commit-config.yaml
grep -q "rev: $sha" r/.pre-commit-config.yaml || fail "docs/ci.md gives no revision to fill in"
(cd r && git add .pre-commit-config.yaml && pre-commit run --all-files >../out 2>&1)
grep -q -E 'quillet.*(Failed|Passed)' out || fail "docs/ci.md's hook did not run: $(tail -n 5 out)"
lined_up || fail "docs/ci.md's hook did not line the files up: $(tail -n 5 out)"

fresh
block "$source_tree/docs/ci.md" 2 >r/.pre-commit-config.yaml
(cd r && git add .pre-commit-config.yaml && pre-commit install >/dev/null &&
  git commit -qm second >../out 2>&1)
[ $? = 0 ] && fail "docs/ci.md's local hook let a misaligned commit through"
lined_up || fail "docs/ci.md's local hook did not line the files up: $(tail -n 5 out)"
(cd r && git add . && git commit -qm second >../out 2>&1) ||
  fail "docs/ci.md's local hook refused a lined-up commit: $(tail -n 5 out)"

# docs/ci.md's plain git hook, as .git/hooks/pre-commit: refuses, then lets a lined-up commit by.
fresh
awk '$0 == "```sh" { on = 1; text = ""; next }
     /^```$/ && on { if (text ~ /^#!\/bin\/sh/) printf "%s", text; on = 0 }
     on { text = text $0 "\n" }' "$source_tree/docs/ci.md" >r/.git/hooks/pre-commit
chmod +x r/.git/hooks/pre-commit
grep -q 'quillet -r -check' r/.git/hooks/pre-commit || fail "docs/ci.md gives no git hook"
(cd r && git commit -qm second >../out 2>&1) && fail "docs/ci.md's git hook let a misaligned commit through"
(cd r && "$quillet" -r -nobak . && git add . && git commit -qm second >../out 2>&1) ||
  fail "docs/ci.md's git hook refused a lined-up commit: $(tail -n 5 out)"

if command -v clang-format-19 >/dev/null; then
  fresh
  block "$source_tree/docs/clang-format.md" 1 >r/.clang-format
  block "$source_tree/docs/clang-format.md" 2 >r/.pre-commit-config.yaml
  (cd r && git add . && pre-commit run --all-files >../out 2>&1)
  grep -q 'clang-format.*Passed\|clang-format.*Failed' out || fail "clang-format did not run: $(tail -n 5 out)"
  lined_up || fail "clang-format then quillet left files to line up: $(tail -n 5 out)"
  (cd r && git add . && pre-commit run --all-files >../out 2>&1) ||
    fail "a second run of clang-format and quillet changed files: $(tail -n 8 out)"
else
  echo "clang-format-19 is not installed: its pairing is not tried"
fi
finish
