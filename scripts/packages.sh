# Debian packages the project needs, and the routine that installs the missing ones.
# Sourced by mirvak.sh and test.sh.

# To build the program and the libraries.
BUILD_PACKAGES=(
  build-essential g++ cmake ninja-build pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n
  zlib1g-dev libssl-dev
  libdw-dev
  qt6-charts-dev libqt6opengl6-dev
  # The C library's Russian texts of system errors, and the locale sources they are read in.
  libc-l10n locales
)

# To build and run the tests and benchmarks, with the independent peers they use.
TEST_PACKAGES=(
  "${BUILD_PACKAGES[@]}"
  libgtest-dev libgmock-dev libbenchmark-dev
  srecord python3 python3-intelhex python3-crcmod libmodbus-dev
  zip unzip p7zip-full
  binutils
  socat util-linux iproute2 netbase
  tftpd-hpa
  clang libclang-rt-14-dev
  python3-scipy
)

# Installs whatever dpkg does not report as installed; refreshes the package lists first.
ensure_packages() {
  local missing=() p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}

# Makes the Russian UTF-8 locale when the system does not have it: the program and the
# library read the system's error texts in it.
ensure_russian_locale() {
  local known
  known="$(locale -a 2>/dev/null || true)"
  grep -qi '^ru_RU\.utf-\?8$' <<<"$known" && return 0
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
}
