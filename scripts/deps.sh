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
    clang-16) command -v clang++-16 ;;
    libclang-rt-16-dev) [ -d /usr/lib/llvm-16/lib/clang/16/lib/linux ] ;;
    libgtest-dev) [ -f /usr/include/gtest/gtest.h ] ;;
    nlohmann-json3-dev) [ -f /usr/include/nlohmann/json.hpp ] ;;
    libsimdjson-dev) [ -f /usr/include/simdjson.h ] ;;
    libhwy-dev) [ -f /usr/include/hwy/highway.h ] ;;
    *) dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed' ;;
  esac >/dev/null 2>&1
}

# Installs those of the named packages that are missing, in one apt-get run.
ensure_packages() {
  local missing=() package
  for package in "$@"; do
    package_present "$package" || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}
