#!/usr/bin/env bash
# Builds storlook and its tests with Debian's cross compilers and runs the
# tests and the shipped examples under qemu-user: s390x (big-endian, 64-bit),
# i686 (32-bit), and arm64 and armhf, the two kinds of Raspberry Pi system.
# Byte order and word size must change nothing.
# usage: .ci/cross.sh [TARGET...]   (default: all four)
set -euo pipefail
cd "$(dirname "$0")/.."

targets=("$@")
((${#targets[@]})) || targets=(s390x-linux-gnu i686-linux-gnu aarch64-linux-gnu arm-linux-gnueabihf)
bash .ci/need.sh qemu-user-static googletest cmake make "${targets[@]/#/g++-}"

for target in "${targets[@]}"; do
  start=$(date +%s)
  build="build-${target%%-*}"
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/$target.cmake" \
    -DSTORLOOK_TESTS=ON -DSTORLOOK_GTEST_SOURCE=/usr/src/googletest >/dev/null
  cmake --build "$build" -j2
  ctest --test-dir "$build" --output-on-failure
  emulator=$(sed -n 's/^set(CROSS_EMULATOR \(.*\))$/\1/p' "cmake/$target.cmake")
  "$emulator" "$build/storlook" -body examples/netmail.msg examples/echomail.msg \
    examples/damaged.msg 2>&1 | tail -n +2 | diff - <(tail -n +2 examples/expected.txt)
  echo "$target: built, tested and the examples dumped alike in $(($(date +%s) - start)) s"
done
