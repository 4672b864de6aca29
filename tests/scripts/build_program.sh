#!/usr/bin/env bash
# mirvak.sh's build step on a scratch build folder ($1): afterwards the folder holds the
# program, the loader library and the controller simulator, and no other program (tests,
# benchmarks, fuzz targets) was built there.
set -euo pipefail
top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
dir=$1
source "$top/scripts/build.sh"
mkdir -p "$dir"
# A folder kept from an earlier run must make the three files again.
products=(bin/Mirvak bin/libSarnupolexLib.so bin/controller-sim)
for f in "${products[@]}"; do rm -f "$dir/$f"; done
build_program "$dir" 4
status=0
for f in "${products[@]}"; do
  if [ ! -f "$dir/$f" ]; then
    echo "not built: $dir/$f"
    status=1
  fi
done
others=$(find "$dir/bin" -maxdepth 1 -type f -executable -not -name '*.so' -not -name '*.so.*' \
  -not -name Mirvak -not -name controller-sim -printf '%f\n')
if [ -n "$others" ]; then
  echo "built besides the program: $others"
  status=1
fi
exit $status
