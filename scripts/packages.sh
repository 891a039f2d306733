#!/usr/bin/env bash
# The one list of Debian packages that building, running and testing Quorvex needs,
# and the function that installs the missing ones. Sourced by run.sh and test.sh.

QUORVEX_BUILD_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev
  libsox-dev
  libftdi1-dev
  zlib1g-dev
  qt6-translations-l10n
)

# Only the tests and benchmarks need these: independent references, GUI checks, and clang
# with its sanitizer and libFuzzer runtimes for the fuzz targets.
QUORVEX_TEST_PACKAGES=(
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libfec-dev libspandsp-dev
  python3 sox espeak-ng
  xvfb xauth
  clang libclang-rt-14-dev
)

quorvex_missing_packages() {
  local p missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  echo "${missing[@]}"
}

quorvex_install_packages() {
  local missing
  missing=$(quorvex_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing missing packages: $missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}
