#!/usr/bin/env bash
# `cmake --install` puts quillet and its manual page in the usual places, the page renders without
# warnings, and it documents every option that the program lists and every exit status.
# Usage: install_test.sh path/to/build-directory
set -u
build=$(realpath "$1")
# shellcheck source=tests/common.sh
source "$(dirname "$0")/common.sh"

cmake --install "$build" --prefix "$work/usr" >"$work/install.log" 2>&1 || fail "install: $(cat "$work/install.log")"
binary="$work/usr/bin/quillet"
page="$work/usr/share/man/man1/quillet.1.gz"
[ -f "$page" ] || page="$work/usr/share/man/man1/quillet.1"  # built where there is no gzip
[ -x "$binary" ] || fail "no executable at bin/quillet"
[ -f "$page" ] || fail "no manual page at share/man/man1/quillet.1.gz"
[ -f "$work/usr/share/doc/quillet/copyright" ] || fail "no copyright file"
"$binary" -help >/dev/null
[ $? = 1 ] || fail "the installed quillet does not run"

warnings=$(gzip -dcf "$page" | groff -man -ww -z 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"
if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$page" >"$work/page.txt" 2>"$work/man.err"
  [ -s "$work/man.err" ] && fail "man warns: $(cat "$work/man.err")"
else
  gzip -dcf "$page" | groff -man -Tutf8 >"$work/page.txt" 2>/dev/null
fi
# Each option that the program lists, from the table it parses with, has a paragraph of its own:
# the line after a .TP names it.
options=$("$binary" --help | sed -n 's/^  \(-[a-z0-9]*\).*/\1/p')
[ "$(printf '%s\n' "$options" | wc -l)" -ge 20 ] || fail "--help lists no options: [$options]"
tags=$(gzip -dcf "$page" | awk 'tag { print } { tag = /^\.TP/ }' | sed 's/\\-/-/g' | grep -o -- '-[-a-z0-9]*')
for option in $options --help; do
  printf '%s\n' "$tags" | grep -qx -- "$option" || fail "the page does not document $option"
done
for status in 0 1 2 3 4 5 6 7 8 9 10 11 12; do
  grep -q -E "^ *$status( |$)" "$work/page.txt" || fail "the page does not document status $status"
done
for heading in "SETTINGS FILE" "TREE MODE" FILES EXAMPLES; do
  grep -q "^$heading" "$work/page.txt" || fail "the page has no $heading section"
done

finish
