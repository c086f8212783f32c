#!/usr/bin/env bash
# The packages the scripts need, installed with apt-get when missing (run
# as root). Sourced by scripts/run.sh, scripts/test.sh and bench/run.sh:
#
#   source scripts/deps.sh
#   ensure_packages "${build_packages[@]}" git
#
# What every build needs: the compiler, cmake, the JSON libraries and the
# vector library the scan kernels are written with.
build_packages=(cmake g++ nlohmann-json3-dev libsimdjson-dev libhwy-dev)

# True when the Debian package's tool or header is already here.
package_present() {
  case $1 in
    cmake | g++ | git | python3) command -v "$1" ;;
    time) [ -x /usr/bin/time ] ;;
    crossbuild-essential-arm64) command -v aarch64-linux-gnu-g++ ;;
    qemu-user) command -v qemu-aarch64 ;;
    clang-16) command -v clang++-16 ;;
    libclang-rt-16-dev) [ -d /usr/lib/llvm-16/lib/clang/16/lib/linux ] ;;
    nlohmann-json3-dev) [ -f /usr/include/nlohmann/json.hpp ] ;;
    # The header alone may belong to another architecture's package (the
    # arm64 simdjson one replaces the host's): ask for the host's.
    libgtest-dev | libsimdjson-dev | libhwy-dev)
      dpkg-query -W -f='${Status}' "$1:$(dpkg --print-architecture)" | grep -q 'install ok installed' ;;
    *) dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' ;;
  esac >/dev/null 2>&1
}

# Lets apt-get install the named architecture's packages (NAME:arm64)
# beside the host's; ensure_packages then updates the package lists.
ensure_architecture() {
  dpkg --print-foreign-architectures | grep -qx "$1" || dpkg --add-architecture "$1"
}

# Installs those of the named packages that are missing, in one apt-get run.
# Options before the names (--no-install-recommends) go to apt-get.
ensure_packages() {
  local options=() missing=() package
  while [ $# -gt 0 ] && [ "${1#-}" != "$1" ]; do
    options+=("$1")
    shift
  done
  for package in "$@"; do
    package_present "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}

# The aarch64 cross build (cmake/aarch64-linux-gnu.cmake): the cross
# compiler, the user-mode emulator that runs its programs, and the arm64
# libraries beside the host's (multiarch: ensure_architecture arm64 first).
# Only simdjson's shared library: its -dev package is not co-installable
# across architectures, and the host's header serves both.
cross_arm64_packages=(crossbuild-essential-arm64 qemu-user libgtest-dev:arm64 libsimdjson14:arm64 libhwy-dev:arm64)
