#!/usr/bin/env bash
# The editor recipes of docs/editors.md, taken from the page and run in the editors themselves
# (each one that is installed): a buffer of a file in a project with a .quillet, formatted by the
# recipe's command and by saving, equals what `quillet -r` makes of that file, and the cursor
# stays where it was.
# Usage: editors_test.sh path/to/quillet path/to/docs/editors.md
set -u
quillet=$(realpath "$1")
page=$(realpath "$2")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1

# The editors find Quillet on PATH, as users have it, and read no user's configuration.
mkdir bin home && ln -s "$quillet" bin/quillet
export PATH="$work/bin:$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home" XDG_DATA_HOME="$work/home"
# recipe LANGUAGE [N]: the page's first (or Nth) code block in that language.
recipe() {
  awk -v fence="\`\`\`$1" -v n="${2:-1}" '$0 == fence { k++; on = k == n; next }
    on && /^```$/ { exit } on' "$page"
}
recipe vim >recipe.vim
recipe vim 2 >recipe-ale.vim
recipe lua >recipe.lua
recipe elisp >recipe.el
recipe json >recipe.json
[ -s recipe.vim ] && [ -s recipe-ale.vim ] && [ -s recipe.lua ] && [ -s recipe.el ] && [ -s recipe.json ] ||
  fail "a recipe is missing from the page"

mkdir -p p/src
printf -- '-cpos 40 -cpp\n' >p/.quillet
{
  echo 'int count;                         // number of items'
  echo 'int a;'
  echo '    int b;                    /* moves */'
  echo 'char c;  // stays: left of the threshold'
} >original.c
cp -r p want && cp original.c want/src/a.c && "$quillet" -r -nobak want
cmp -s original.c want/src/a.c && fail "the sample has nothing to move"
# Run from elsewhere: only the buffer's name can lead Quillet to the project's settings.
mkdir elsewhere && cd elsewhere || exit 1

# judge EDITOR HOW: p/src/a.c is what quillet -r makes of it, and the cursor is at 3 5.
judge() {
  cmp -s "$work/p/src/a.c" "$work/want/src/a.c" || fail "$1, $2: the file is not quillet -r's result"
  if [ "$2" = command ]; then
    [ "$(cat "$work/position.txt" 2>/dev/null)" = "3 5" ] ||
      fail "$1: the cursor moved to [$(cat "$work/position.txt" 2>/dev/null)]"
  fi
}
# fresh: the file as it was, and no position told yet.
fresh() { cp "$work/original.c" "$work/p/src/a.c" && rm -f "$work/position.txt" "$work/said.txt"; }
keep_position="call writefile([line('.') . ' ' . col('.')], '$work/position.txt')"
keep_messages="call writefile(split(execute('messages'), \"\\n\"), '$work/said.txt')"
# refused EDITOR: with a bad .quillet, saving kept the buffer and showed Quillet's message.
refused() {
  cmp -s "$work/p/src/a.c" "$work/original.c" || fail "$1, bad settings: the buffer was not kept"
  grep -q -- '-bogus is not an option a settings file takes' "$work/said.txt" 2>/dev/null ||
    fail "$1, bad settings: the message was not shown: [$(cat "$work/said.txt" 2>/dev/null)]"
}

for vim in vim nvim; do
  command -v "$vim" >/dev/null || { echo "skipped: $vim is not installed"; continue; }
  if [ "$vim" = vim ]; then
    run() { timeout 60 vim -Nu NONE -i NONE -n -es -c "source $work/recipe.vim" "$@"; }
  else
    run() { timeout 60 nvim --headless -u NONE -i NONE -n -c "luafile $work/recipe.lua" "$@"; }
  fi
  fresh
  run -c 'call cursor(3, 5)' -c Quillet -c "$keep_position" -c 'noautocmd wq' "$work/p/src/a.c" \
    </dev/null >/dev/null 2>&1
  judge "$vim" command
  fresh
  run -c wq "$work/p/src/a.c" </dev/null >/dev/null 2>&1
  judge "$vim" save
  fresh && mv "$work/p/.quillet" "$work/good" && printf -- '-bogus\n' >"$work/p/.quillet"
  run -c w -c "$keep_messages" -c 'qa!' "$work/p/src/a.c" </dev/null >/dev/null 2>&1
  mv "$work/good" "$work/p/.quillet"
  refused "$vim"
done

# ALE runs its fixers as jobs: on save it fixes the buffer, then writes it again once the job ends.
ale=/usr/share/vim-ale
if command -v vim >/dev/null && [ -f "$ale/plugin/ale.vim" ]; then
  printf 'set nocompatible\nset rtp^=%s\nfiletype plugin on\nsource %s\n' "$ale" \
    "$work/recipe-ale.vim" >"$work/ale.vimrc"
  ale_run() {
    timeout 60 vim -u "$work/ale.vimrc" -i NONE -n -es "$@" -c 'sleep 2' -c 'qa!' \
      "$work/p/src/a.c" </dev/null >/dev/null 2>&1
  }
  fresh
  ale_run -c w
  judge ale save
  fresh
  ale_run -c ALEFix -c 'sleep 2' -c 'noautocmd w'
  judge ale fix
  fresh && mv "$work/p/.quillet" "$work/good" && printf -- '-bogus\n' >"$work/p/.quillet"
  ale_run -c w
  mv "$work/good" "$work/p/.quillet"
  cmp -s "$work/p/src/a.c" "$work/original.c" || fail "ale, bad settings: the buffer was not kept"
else
  echo "skipped: vim with ALE is not installed"
fi

# VS Code cannot run here. Its task must start Quillet with no shell and the file's name as an
# argument of its own; it is run so, as VS Code runs it, on a name that a shell would run.
if command -v jq >/dev/null; then
  hostile='x$(touch P).c'
  cp "$work/original.c" "$work/p/src/$hostile"
  jq -e '.tasks[0] | .type == "process" and .command == "quillet" and (.args | index("${file}") != null)' \
    "$work/recipe.json" >/dev/null || fail "vscode: the task is no process task with \${file} as an argument"
  mapfile -t task < <(jq -r --arg file "$work/p/src/$hostile" \
    '.tasks[0] | [.command] + (.args | map(if . == "${file}" then $file else . end)) | .[]' "$work/recipe.json")
  "${task[@]}" </dev/null >/dev/null 2>&1
  [ ! -e P ] && [ ! -e "$work/P" ] || fail "vscode: the file's name ran a command"
  cmp -s "$work/p/src/$hostile" "$work/want/src/a.c" || fail "vscode: the file is not quillet -r's result"
  [ ! -e "$work/p/src/$hostile.bak" ] || fail "vscode: a backup was kept"
else
  echo "skipped: the VS Code task, as jq is not installed"
fi

if command -v emacs >/dev/null; then
  emacs_run() { timeout 60 emacs -Q --batch -l "$work/recipe.el" --eval "$1" </dev/null 2>/dev/null; }
  fresh
  emacs_run "(progn (setq make-backup-files nil) (find-file \"$work/p/src/a.c\")
    (goto-char (point-min)) (forward-line 2) (forward-char 4) (quillet-buffer)
    (let ((position (format \"%d %d\" (line-number-at-pos) (1+ (current-column)))))
      (with-temp-file \"$work/position.txt\" (insert position)))
    (remove-hook 'before-save-hook #'quillet-buffer t) (save-buffer))"
  judge emacs command
  fresh
  emacs_run "(progn (setq make-backup-files nil) (find-file \"$work/p/src/a.c\")
    (set-buffer-modified-p t) (save-buffer))"
  judge emacs save
  fresh && mv "$work/p/.quillet" "$work/good" && printf -- '-bogus\n' >"$work/p/.quillet"
  timeout 60 emacs -Q --batch -l "$work/recipe.el" --eval "(progn (setq make-backup-files nil)
    (find-file \"$work/p/src/a.c\") (set-buffer-modified-p t) (save-buffer))" </dev/null \
    2>"$work/said.txt"
  mv "$work/good" "$work/p/.quillet"
  refused emacs
else
  echo "skipped: emacs is not installed"
fi

finish
