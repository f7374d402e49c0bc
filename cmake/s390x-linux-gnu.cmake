# Cross-compiles for s390x Linux with Debian's g++-s390x-linux-gnu and runs
# what it builds under qemu-user:
#   cmake -S . -B build-s390x -DCMAKE_TOOLCHAIN_FILE=cmake/s390x-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)

set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/s390x-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked statically: a dynamically linked program that forks hangs under
# Debian 12's qemu-i386, and there is no loader path to hand the emulator.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# No binfmt_misc is assumed: programs of the target, the tool started by the
# tests included, run through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x-static)
