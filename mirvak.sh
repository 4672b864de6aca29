#!/usr/bin/env bash
# Installs what is missing, builds the configurator and starts it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
source scripts/packages.sh
ensure_packages "${BUILD_PACKAGES[@]}" xvfb xauth

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display. Start it with:"
  echo "  xvfb-run -a $here/mirvak.sh"
  exit 1
fi

cmake --preset default
cmake --build --preset default --target Mirvak -j "$(nproc)"
exec "$here/build/default/bin/Mirvak" "$@"
