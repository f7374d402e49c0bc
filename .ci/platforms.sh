#!/usr/bin/env bash
# Configures storlook as for macOS and FreeBSD, with this machine's clang
# standing in for theirs, and fails if a flag that only Linux toolchains
# take reaches a compile or link line: Apple's linker has no -z options, and
# Apple's clang warns of stack clash protection on every file.
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/need.sh clang cmake make
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# check SYSTEM PATTERN...: no PATTERN (an extended regex) in the build lines.
check() {
  local system=$1 pattern lines
  shift
  cmake -S . -B "$tmp/$system" -DCMAKE_SYSTEM_NAME="$system" \
    -DCMAKE_CXX_COMPILER=clang++ -DSTORLOOK_TESTS=OFF >/dev/null
  lines=$(cat "$tmp/$system"/CMakeFiles/storlook*.dir/{flags.make,link.txt})
  for pattern; do
    if grep -E -- "$pattern" <<<"$lines"; then
      echo "$system: '$pattern' reaches the build lines above"
      exit 1
    fi
  done
  echo "$system: configures with none of: $*"
}

check Darwin '-z[, ]|-Xlinker -z' 'relro' '-fstack-clash-protection' '-static'
check FreeBSD '-static'
