#!/usr/bin/env bash
# Builds the .deb and the Windows zip twice, from two clones of this commit
# in folders of different names and depths, and fails unless each pair is
# the same file byte for byte. SOURCE_DATE_EPOCH is left to cpack, which
# takes the last commit's time.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/need.sh cmake make g++ file dpkg-dev git g++-mingw-w64-x86-64 mandoc
unset SOURCE_DATE_EPOCH
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
clones=("$tmp/a" "$tmp/b/second/storlook-src")
for dir in "${clones[@]}"; do
  git clone -q "$PWD" "$dir"
  (
    cd "$dir"
    cmake -S . -B build -DSTORLOOK_TESTS=OFF >/dev/null
    cmake --build build -j2 >/dev/null
    (cd build && cpack -G DEB >/dev/null)
    cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DSTORLOOK_TESTS=OFF >/dev/null
    cmake --build build-win -j2 >/dev/null
    (cd build-win && cpack -G ZIP >/dev/null)
  )
done
for pattern in build/storlook_*.deb build-win/storlook-*.zip; do
  first=$(ls "${clones[0]}"/$pattern)
  second=$(ls "${clones[1]}"/$pattern)
  cmp "$first" "$second"
  echo "rebuilt bit for bit: $(basename "$first") ($(sha256sum <"$first" | cut -c1-16))"
done
