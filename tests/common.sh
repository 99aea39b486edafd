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
