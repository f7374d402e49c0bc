#!/usr/bin/env bash
# Builds storlook and its tests for s390x (big-endian, 64-bit) and i686
# (32-bit) with Debian's cross compilers and runs the tests under qemu-user:
# byte order and word size must change nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

bash .ci/need.sh g++-s390x-linux-gnu g++-i686-linux-gnu qemu-user-static googletest cmake make

for target in s390x i686; do
  start=$(date +%s)
  cmake -S . -B "build-$target" -DCMAKE_TOOLCHAIN_FILE="cmake/$target-linux-gnu.cmake" >/dev/null
  cmake --build "build-$target" -j2
  ctest --test-dir "build-$target" --timeout 600 --output-on-failure
  echo "$target: built and tested in $(($(date +%s) - start)) s"
done
