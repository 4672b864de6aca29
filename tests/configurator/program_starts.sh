#!/usr/bin/env bash
# Starts the program offscreen from another folder, with its files folder pointed at a
# temporary folder, and checks that it is still running two seconds later.
set -u
exe="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
MIRVAK_PROGRAM_DIR="$work" QT_QPA_PLATFORM=offscreen "$exe" >"$work/out.txt" 2>&1 &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid"
  echo "Mirvak ended early with status $?:"
  cat "$work/out.txt"
  exit 1
fi
kill "$pid"
wait "$pid" 2>/dev/null
echo "Mirvak was running after 2 s"
exit 0
