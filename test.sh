#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
source scripts/packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

# Tests switch to the Russian locale to check that numbers do not depend on it.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi

jobs=$(nproc)
cmake --preset default
cmake --build --preset default -j "$jobs"
cmake --preset asan
cmake --build --preset asan -j "$jobs"

status=0
ctest --preset default -j "$jobs" || status=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset asan -j "$jobs" || status=1
exit $status
