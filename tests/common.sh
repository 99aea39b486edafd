# shellcheck shell=bash
# Sourced by the shell tests: a scratch directory removed on exit, and a count of failures.
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
failures=0

# fail MESSAGE: counts a failure and says what it was.
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# finish: ends the test, passed when nothing failed.
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)"
    exit 1
  fi
  echo "all passed"
}

# finish_parts RAN: ends a test of parts that each need a program of their own, RAN of which could
# run: skipped (status 77) when none could and nothing failed, else as finish.
finish_parts() {
  if [ "$1" -eq 0 ] && [ "$failures" -eq 0 ]; then
    echo "skipped: none of the parts could run"
    exit 77
  fi
  finish
}
