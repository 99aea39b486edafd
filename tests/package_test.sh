#!/usr/bin/env bash
# The Debian package that `cpack -G DEB` makes passes lintian: no error and no warning.
# Usage: package_test.sh path/to/build-directory
set -u
build=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"
command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(tail -n 5 "$work/cpack.log")"
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no package was made"
if [ -n "$deb" ]; then
  lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 ||
    fail "lintian: $(grep -v 'root privileges' "$work/lintian.log")"
  dpkg-deb -c "$deb" | grep -q ' ./usr/bin/quillet$' || fail "the package holds no usr/bin/quillet"
  [ "$(dpkg-deb -f "$deb" Version)" = "$("$build/quillet" -version | cut -d' ' -f2)" ] ||
    fail "the package's version is not the program's"
fi
finish
