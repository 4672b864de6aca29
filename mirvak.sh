#!/usr/bin/env bash
# Installs what is missing, builds the configurator and starts it. Without a display it
# installs Xvfb and starts the configurator on a virtual one.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_russian_locale

# Configured once; the build reconfigures by itself when a CMake file changes.
if [ ! -f build/default/CMakeCache.txt ] || [ ! -f build/default/build.ninja ]; then
  cmake --preset default
fi
cmake --build --preset default --target Mirvak -j "$(nproc)"

program="$here/build/default/bin/Mirvak"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  ensure_packages xvfb xauth
  echo "No display: starting Mirvak on a virtual display (xvfb-run)."
  exec xvfb-run -a "$program" "$@"
fi
exec "$program" "$@"
