#!/usr/bin/env bash
# Only src/platform/ calls the operating system: no other file of src/ includes a system header,
# calls a system function, names a system type or constant, or reaches files, the environment or
# signals through the C library; the room's own interface headers say nothing of POSIX either, and
# no file outside the room includes one of its implementations.
# Usage: os_room_test.sh path/to/source/tree [--count]
#   --count: prints, per room, the lines that touch the system and the files that hold them.
set -u
root=$(realpath "$1")
cd "$root/src" || exit 1
# shellcheck source=tests/common.sh
source "$root/tests/common.sh"

# A line touches the system when, its // comment left out, it holds one of these.
patterns=(
  '#include <[^>]*\.h>'                   # a C or POSIX header (the C++ ones have no ".h")
  '#include <(csignal|filesystem)>'       # signals, and files through the C++ library
  '(^|[^A-Za-z0-9_>:])::[a-z_][a-z0-9_]*\(' # a call at global scope: the C library's, or POSIX's
  '\b(sig(empty|add|fill|del)set|posix_spawn[a-z_]*|fileno|WIF[A-Z]+|WEXITSTATUS)\b'
  '\b(O|S|AT|DT|SEEK|LOCK|F|P|FNM|RLIM|RLIMIT|POLL|POSIX_SPAWN|_SC|SIG)_[A-Z_0-9]+\b'
  '\b(STDIN|STDOUT|STDERR)_FILENO\b|\b(PATH_MAX|X_OK|WEXITED|WNOWAIT)\b|\bSIG(INT|TERM|HUP|KILL|PIPE)\b'
  '\bstruct stat\b|\b(pid_t|off_t|dev_t|ino_t|ssize_t|mode_t|uid_t|gid_t|id_t|sigset_t|siginfo_t|pollfd|dirent|DIR|rlimit|environ)\b'
  'std::(tmpfile|getenv|fopen|rename|system|signal|raise|_Exit|filesystem)\b'
  '"/proc/'
  '\bst_(mode|uid|gid|dev|ino|size|mtim|mtimespec)\b'  # a file's status, field by field
)
joined=$(IFS='|'; echo "${patterns[*]}")

# touching FILE: the lines of FILE that touch the system, numbered.
# Compiler intrinsics come in ".h" headers too, and are no system's.
touching() {
  sed 's://.*$::' "$1" | grep -nE -- "$joined" | grep -vE '#include <([a-z0-9]*intrin|arm_neon)\.h>'
}

if [ "${2:-}" = --count ]; then
  declare -A lines files
  while IFS= read -r file; do
    n=$(touching "$file" | wc -l)
    [ "$n" -gt 0 ] || continue
    room=${file%%/*}
    [ "$room" = "$file" ] && room=main
    [ "$room" = platform ] && [[ $file != platform/*/* ]] && room="platform (interface)"
    lines[$room]=$((${lines[$room]:-0} + n))
    files[$room]=$((${files[$room]:-0} + 1))
  done < <(find . -name '*.h' -o -name '*.cpp' | sed 's:^\./::' | sort)
  total_lines=0 total_files=0
  for room in $(printf '%s\n' "${!lines[@]}" | sort); do
    printf '%-22s %4d lines in %2d files\n' "$room" "${lines[$room]}" "${files[$room]}"
  done
  for room in "${!lines[@]}"; do
    [[ $room == platform* ]] && continue
    total_lines=$((total_lines + ${lines[$room]})) total_files=$((total_files + ${files[$room]}))
  done
  printf '%-22s %4d lines in %2d files\n' "outside platform/" "$total_lines" "$total_files"
  exit 0
fi

while IFS= read -r file; do
  [[ $file == platform/*/* ]] && continue  # an implementation: the one place for system calls
  if found=$(touching "$file"); then
    fail "$file touches the system:"
    printf '%s\n' "$found" | sed "s:^:  $file\::"
  fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's:^\./::' | sort)

# The implementations are reached through the interface only.
if grep -rnE '#include "platform/[a-z_]+/' --include='*.h' --include='*.cpp' . | grep -v '^\./platform/'; then
  fail "a file outside the platform room includes one of its implementations"
fi

# A pattern that finds nothing would pass every tree: each must catch its own kind of line.
for sample in '#include <unistd.h>' '#include <csignal>' '  if (::close(fd) != 0) return;' \
  'sigemptyset(&set);' 'flags | O_NOFOLLOW' 'write(STDOUT_FILENO, p, n)' 'struct stat s {};' \
  'std::FILE* f = std::tmpfile();' 'const char* p = "/proc/self/fd/";'; do
  printf '%s\n' "$sample" >"$work/sample.cpp"
  touching "$work/sample.cpp" >/dev/null || fail "the check misses: $sample"
done
for sample in 'std::chrono::steady_clock::now();' 'quillet::run(argc, argv);' \
  'return RC_IO_ERROR;  // ::close(fd)' '#include <cstdio>' 'std::remove(a.begin(), a.end(), x);' \
  '#include <emmintrin.h>'; do
  printf '%s\n' "$sample" >"$work/sample.cpp"
  touching "$work/sample.cpp" >/dev/null && fail "the check takes for a system call: $sample"
done
finish
