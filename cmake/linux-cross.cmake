# Shared by the Linux cross toolchain files, which set CROSS_TRIPLET,
# CMAKE_SYSTEM_PROCESSOR and CROSS_EMULATOR before including this.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Linked statically: a dynamically linked program that forks hangs under
# Debian 12's qemu-i386, and there is no loader path to hand the emulator.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# No binfmt_misc is assumed: programs of the target, the tool started by the
# tests included, run through the emulator.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CROSS_EMULATOR})
