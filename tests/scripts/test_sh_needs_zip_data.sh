#!/usr/bin/env bash
# test.sh in a clone without ../shared/testdata/zip stops at once, before it installs or
# builds anything, with one line that names the folder and says what it holds.
set -u
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/clone"
cp "$top/test.sh" "$work/clone/"
(cd "$work/clone" && ./test.sh >"$work/out" 2>"$work/err")
status=$?
expected="test.sh: $work/shared/testdata/zip is missing: it holds the third-party ZIP test archives (libzip's regression archives) that the archive tests read."
fail=0
[ "$status" -eq 1 ] || { echo "status $status, not 1"; fail=1; }
[ ! -s "$work/out" ] || { echo "output:"; cat "$work/out"; fail=1; }
[ "$(cat "$work/err")" = "$expected" ] || { echo "error output:"; cat "$work/err"; fail=1; }
[ "$(ls -A "$work/clone")" = "test.sh" ] || { echo "left in the clone: $(ls -A "$work/clone")"; fail=1; }
exit $fail
