#!/usr/bin/env bash
# Installs what is missing, builds both presets and runs every test.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"

# The archive tests read third-party ZIP archives from ../shared/testdata/zip, beside
# the clone; without them the run stops before anything is installed or built.
zip_data="$(cd "$here/.." && pwd)/shared/testdata/zip"
if [ ! -d "$zip_data" ]; then
  echo "test.sh: $zip_data is missing: it holds the third-party ZIP test archives (libzip's regression archives) that the archive tests read." >&2
  exit 1
fi
source scripts/packages.sh
ensure_packages "${TEST_PACKAGES[@]}"

# Tests switch to the Russian locale to check that numbers do not depend on it, and
# read the system's error texts in it.
ensure_russian_locale

jobs=$(nproc)
cmake --preset default
cmake --build --preset default -j "$jobs"
cmake --preset asan
cmake --build --preset asan -j "$jobs"
# The threaded code's tests under ThreadSanitizer (the preset builds only them).
cmake --preset tsan
cmake --build --preset tsan -j "$jobs"

status=0
ctest --preset default -j "$jobs" || status=1
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset asan -j "$jobs" || status=1
# Any data race or lock-order report fails its test: the preset's TSAN_OPTIONS halt on
# the first report with a failing exit code, and its suppressions cover only Debian's
# uninstrumented Qt and libpng.
ctest --preset tsan -j "$jobs" || status=1

# The fuzz targets of the file readers, side by side, each for 60 s from its committed
# seeds and reproducers. A crash, leak, time-out or broken property fails the run and
# leaves the input in build/fuzz/artifacts/<target>/: commit it to the target's
# regressions folder together with its fix.
cmake --preset fuzz
cmake --build --preset fuzz -j "$jobs"
# Each target with its folders of committed seeds and reproducers.
declare -A fuzz_inputs=(
  [hex_roundtrip]="tests/model/fuzz/seeds/hex_roundtrip tests/model/fuzz/regressions/hex_roundtrip"
  [document_load]="tests/model/fuzz/seeds/document_load tests/model/fuzz/regressions/document_load"
  [loaded_image]="tests/model/fuzz/seeds/loaded_image tests/model/fuzz/regressions/loaded_image"
  [zip_read]="tests/archive/fuzz/seeds tests/archive/fuzz/regressions ../shared/testdata/zip"
  [zip_update]="tests/archive/fuzz/seeds/zip_update tests/archive/fuzz/regressions/zip_update"
)
fuzz_targets=(hex_roundtrip document_load loaded_image zip_read zip_update)
# What the loader reads from a controller and from its files.
for t in modbus_reply block_transfer tftp_client loader_texts; do
  fuzz_inputs[$t]="tests/loader/fuzz/seeds/$t tests/loader/fuzz/regressions/$t"
  fuzz_targets+=("$t")
done
fuzz_pids=()
for t in "${fuzz_targets[@]}"; do
  mkdir -p "build/fuzz/corpus/$t" "build/fuzz/artifacts/$t"
  read -r -a inputs <<<"${fuzz_inputs[$t]}"
  existing=()
  for d in "${inputs[@]}"; do [ -d "$d" ] && existing+=("$d"); done
  "build/fuzz/bin/fuzz_$t" "build/fuzz/corpus/$t" "${existing[@]}" \
    -max_total_time=60 -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/artifacts/$t/" </dev/null >"build/fuzz/$t.log" 2>&1 &
  fuzz_pids+=($!)
done
for i in "${!fuzz_targets[@]}"; do
  t=${fuzz_targets[$i]}
  if wait "${fuzz_pids[$i]}"; then
    echo "fuzz_$t: $(grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "build/fuzz/$t.log" | tr -s ' ' | tr '\n' ' ')"
  else
    status=1
    echo "fuzz_$t failed; the input is in build/fuzz/artifacts/$t/" >&2
    tail -n 60 "build/fuzz/$t.log" >&2
  fi
done
exit $status
