# Cross-compiles for 64-bit ARM Linux (a Raspberry Pi with a 64-bit system)
# with Debian's g++-aarch64-linux-gnu and runs what it builds under qemu-user
# (package qemu-user-static):
#   cmake -S . -B build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake
set(CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CROSS_EMULATOR qemu-aarch64-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
