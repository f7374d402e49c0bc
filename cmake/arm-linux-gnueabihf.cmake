# Cross-compiles for 32-bit ARM Linux with hardware floating point (armhf: a
# Raspberry Pi with 32-bit Raspberry Pi OS) with Debian's
# g++-arm-linux-gnueabihf and runs what it builds under qemu-user (package
# qemu-user-static):
#   cmake -S . -B build-armhf -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CROSS_EMULATOR qemu-arm-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
