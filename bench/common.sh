# shellcheck shell=bash
# Sourced by the benchmarks, with their arguments: [path/to/quillet] [runs]. Sets `quillet` (built
# as build/quillet, Release, when none is given), `runs` (default 11) and `work`, a scratch
# directory removed on exit; defines `now` and `median`.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
quillet=${1:-}
runs=${2:-11}
if [ -z "$quillet" ]; then
  cmake -S "$here/.." -B "$here/../build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$here/../build" -j --target quillet >/dev/null
  quillet="$here/../build/quillet"
fi
quillet=$(realpath "$quillet")
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

now() { date +%s%N; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
