# Cross-compiles for i686 Linux with Debian's g++-i686-linux-gnu and runs
# what it builds under qemu-user:
#   cmake -S . -B build-i686 -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/i686-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked statically: a dynamically linked program that forks hangs under
# Debian 12's qemu-i386, and there is no loader path to hand the emulator.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# No binfmt_misc is assumed: programs of the target, the tool started by the
# tests included, run through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
