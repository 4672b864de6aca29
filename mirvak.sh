#!/usr/bin/env bash
# Installs what is missing, builds the configurator with the loader library and the
# controller simulator (scripts/build.sh), and starts it. Without a display it installs
# Xvfb and starts the configurator on a virtual one.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
cd "$here"
source scripts/packages.sh
source scripts/build.sh
ensure_packages "${BUILD_PACKAGES[@]}"
ensure_russian_locale

build_program build/default

program="$here/build/default/bin/Mirvak"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  ensure_packages xvfb xauth
  echo "No display: starting Mirvak on a virtual display (xvfb-run)."
  exec xvfb-run -a "$program" "$@"
fi
exec "$program" "$@"
