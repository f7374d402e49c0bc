# Cross-compiles for i686 Linux with Debian's g++-i686-linux-gnu and runs
# what it builds under qemu-user (package qemu-user-static):
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
set(CROSS_TRIPLET i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CROSS_EMULATOR qemu-i386-static)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
