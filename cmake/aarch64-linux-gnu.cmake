# Cross build for 64-bit ARM Linux with Debian's cross compiler
# (crossbuild-essential-arm64) and the arm64 libraries installed beside the
# host's through multiarch (dpkg --add-architecture arm64): their headers
# are in /usr/include, their libraries in /usr/lib/aarch64-linux-gnu.
#
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
#
# CTest runs the test programs, and the test discovery, under qemu's user
# mode emulator; -L lets it find the target's dynamic loader and C library.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
# Finders for the libraries whose -dev package cannot be installed for two
# architectures at once.
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/multiarch)
