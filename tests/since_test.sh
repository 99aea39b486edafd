#!/usr/bin/env bash
# "-r -since REV" against what a tree and a user can make git do: the tree's configuration starts
# no program, no user setting reshapes the diff, a range is refused, names are relative to where
# the run started, binary files are checked, a first commit has no HEAD, a FIFO planted as
# .gitattributes ends the run, and no file outside the work tree is touched.
# Usage: since_test.sh path/to/quillet
set -u
quillet=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
cd "$work" || exit 1
command -v git >/dev/null || finish
export GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL="$work/global"
: >global

numbered() { for i in $(seq "$1"); do echo "int v$i;                         // c$i"; done; }
commit() { git -c user.name=t -c user.email=t@t commit -qam "$1"; }
# repo DIR FILE...: a repository in DIR whose first commit holds FILEs, 10 numbered lines each.
repo() {
  rm -rf "$1" && git init -q "$1" && (cd "$1" && shift && for f; do
    mkdir -p "$(dirname "$f")" && numbered 10 >"$f"; done && git add "$@" && commit one)
}
# rebuilt N...: numbered 10 with the lines N (and only those) rebuilt.
rebuilt() { local n lines=(); for n; do lines+=(-lines "$n:$n"); done
  numbered 10 | "$quillet" -fi - -noconf "${lines[@]}"; }

# A FIFO planted as .gitattributes holds git: the run says so, and ends within git's time.
repo fifo a.c && sed -i 2s/v2/W2/ fifo/a.c && mkfifo fifo/.gitattributes
(cd fifo && SECONDS=0 && QUILLET_GIT_TIMEOUT_MS=1000 "$quillet" -r -check -since HEAD >../fifo.out
  echo "$? $SECONDS" >../fifo.rc) &
fifo_run=$!

# bait NAME SETUP [STATUS]: git, as the tree's configuration set up by SETUP says, would run a
# program that makes NAME.ran (a plain `git diff` does); -since must not (and ends with STATUS).
bait() {
  repo b a.c && (cd b && eval "$2") && sed -i 2s/v2/W2/ b/a.c
  (cd b && git diff >/dev/null 2>&1); [ -e "$1.ran" ] || fail "bait $1: plain git is not caught"
  rm -f "$1.ran" && (cd b && "$quillet" -r -check -since HEAD >/dev/null); rc=$?
  [ "$rc" = "${3:-11}" ] && [ ! -e "$1.ran" ] || fail "bait $1: status $rc, or the program ran"
}
ran() { echo "touch '$work/$1.ran'"; }
bait fsmonitor "git config core.fsmonitor \"$(ran fsmonitor); false\""
bait clean "echo '*.c filter=a=b.c' >.gitattributes &&
  git config filter.a=b.c.clean \"$(ran clean); cat\""
bait process "echo '*.c filter=p' >.gitattributes && git config filter.p.required true &&
  git config filter.p.process \"$(ran process)\""
bait external "git config diff.external \"$(ran external)\""
bait command "echo '*.c diff=d' >.gitattributes && git config diff.d.command \"$(ran command)\""
bait textconv "echo '*.c diff=t' >.gitattributes && git config diff.t.textconv \"$(ran textconv)\""
bait submodule "repo sub a.c && git add sub 2>/dev/null && commit sub && sed -i 1s/v/W/ sub/a.c &&
  echo '*.c filter=s' >sub/.gitattributes && git -C sub config filter.s.clean \"$(ran submodule)\""
# A partial clone fetches what it lacks, as its remote's settings say.
repo origin a.c && git -C origin config uploadpack.allowFilter true
bait lazy "cd .. && rm -rf b && git clone -q -n --filter=blob:none file://$work/origin b &&
  cd b && git read-tree HEAD && numbered 10 >a.c &&
  git config remote.origin.uploadpack \"$(ran lazy); false\"" 9

# No user setting reshapes what -since reads: context, merged hunks, names, colour, submodules.
printf '[diff]\ninterHunkContext=5\nnoprefix\nmnemonicPrefix\nrelative\ncontext=4\n' >global
printf 'algorithm=patience\nsubmodule=diff\n[color]\nui=always\n[core]\nquotePath=false\n' >>global
repo user a.c é.c && repo user/sub a.c && (cd user && git add sub 2>/dev/null && commit sub) &&
  sed -i '3s/v/W/; 6s/v/W/' user/a.c && sed -i 2s/v/W/ user/é.c && sed -i 1s/v/W/ user/sub/a.c
(cd user && GIT_DIFF_OPTS=-u5 "$quillet" -r -since HEAD -nobak) || fail "user settings: status $?"
rebuilt 3 6 | sed '3s/v/W/; 6s/v/W/' | cmp -s - user/a.c || fail "user settings: a.c"
rebuilt 2 | sed 2s/v/W/ | cmp -s - user/é.c || fail "user settings: é.c"
numbered 10 | sed 1s/v/W/ | cmp -s - user/sub/a.c || fail "user settings: a submodule's file"
: >global

# One revision, against the working tree: a range is refused; REV... starts where HEAD left REV.
repo r a.c && (cd r && git branch up && git checkout -qb topic && sed -i 3s/v/W/ a.c &&
  commit topic && git checkout -q up && sed -i 8s/v/W/ a.c && commit up &&
  git checkout -q topic && sed -i 5s/v/W/ a.c)
for range in HEAD~1..HEAD 'HEAD^!' ^HEAD up.. up...HEAD; do
  printed=$(cd r && "$quillet" -r -check -since "$range"); rc=$?
  [ "$rc" = 9 ] && [ "$printed" = "? -since takes a single revision, not a range: $range" ] ||
    fail "range $range: status $rc, [$printed]"
done
(cd r && "$quillet" -r -nobak -since up...) || fail "up...: status $?"
rebuilt 3 5 | sed '3s/v/W/; 5s/v/W/' | cmp -s - r/a.c || fail "up...: not the branch's own lines"

# Named from where the run started, and only what lies below it unless a path above is named.
repo s t.c sub/s.c sub/gen/g.c && sed -i 2s/v/W/ s/t.c s/sub/s.c s/sub/gen/g.c
for pattern in ./gen 'gen/*'; do
  printed=$(cd s/sub && "$quillet" -r -check -since HEAD -exclude "$pattern")
  [ "$printed" = "? s.c would change" ] || fail "from a subdirectory, -exclude $pattern: [$printed]"
done
# GitHub places annotations by the path from the repository's top, whatever the run names.
printed=$( (cd s/sub && "$quillet" -r -check -report github -since HEAD ..
  cd .. && "$quillet" -r -check -report github . ) | sed 's/,line.*//' | LC_ALL=C sort -u)
[ "$printed" = "$(printf '::warning file=%s\n' sub/gen/g.c sub/s.c t.c)" ] ||
  fail "-report github names from the top: [$printed]"
printed=$(cd s/sub && "$quillet" -r -check -since HEAD .. | LC_ALL=C sort)
[ "$printed" = "$(printf '? %s would change\n' ../t.c gen/g.c s.c)" ] || fail "above: [$printed]"
(cd s/sub && "$quillet" -r -diff -since HEAD >p; patch -s -t -p0 -i p >/dev/null) &&
  rebuilt 2 | sed 2s/v/W/ | cmp -s - s/sub/s.c || fail "-diff from a subdirectory does not apply"

# Binary to git, by a NUL byte or by an attribute: checked all the same.
repo bin a.c b.c && echo 'b.c binary' >bin/.gitattributes && sed -i 2s/v/W/ bin/a.c bin/b.c &&
  printf '/* \0 */\n' >>bin/a.c
printed=$(cd bin && "$quillet" -r -check -since HEAD); rc=$?
[ "$rc" = 11 ] && [ "$printed" = "$(printf '? %s would change\n' a.c b.c)" ] ||
  fail "binary: status $rc, [$printed]"

# No commit yet: every line of the files staged for the first one is new.
git init -q new && numbered 3 >new/a.c && echo 'int x; /* in line */' >new/ok.c &&
  git -C new add a.c ok.c
printed=$(cd new && "$quillet" -r -check -since HEAD); rc=$?
[ "$rc" = 11 ] && [ "$printed" = "? a.c would change" ] || fail "no HEAD: status $rc, [$printed]"
(cd new && git rm -q --cached a.c && "$quillet" -r -check -since HEAD) || fail "no HEAD: $?"
(cd new && "$quillet" -r -check -since main >/dev/null); [ $? = 9 ] || fail "no HEAD: main"

# Nothing outside the work tree the run started in: git's work tree set elsewhere, or a name in
# a hand-made index that leads out of it.
repo o a.c && sed -i 2s/v/W/ o/a.c && cp o/a.c o.c && cp o/a.c oa.c && mkdir in &&
  git -C o config core.worktree "$work/o" && echo "gitdir: $work/o/.git" >in/.git
printed=$(cd in && "$quillet" -r -nobak -since HEAD); rc=$?
[ "$rc" = 9 ] && cmp -s o/a.c o.c && cmp -s oa.c o.c || fail "work tree elsewhere: $rc, [$printed]"
repo x xx/v.c && cp o.c v.c && sed -i 's|xx/v\.c|\.\./v\.c|' x/.git/index &&
  head -c -20 x/.git/index >body && sum=$(sha1sum body | cut -c1-40 | sed 's/../\\x&/g') &&
  { cat body && printf "$sum"; } >x/.git/index
printed=$(cd x && "$quillet" -r -nobak -since 4b825dc642cb6eb9a060e54bf8d69288fbee4904); rc=$?
[ "$rc" = 10 ] && cmp -s v.c o.c || fail "a name that leads out: status $rc, [$printed]"

wait "$fifo_run"
read -r rc seconds <fifo.rc
[ "$rc" = 10 ] && [ "$seconds" -lt 5 ] &&
  [ "$(cat fifo.out)" = "? Error reading the changes since HEAD: git did not answer in time" ] ||
  fail "a FIFO as .gitattributes: status $rc after ${seconds}s, [$(cat fifo.out)]"
finish
