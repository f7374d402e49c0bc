#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs dump_msg_fuzzer for SECONDS
# (default 60), starting from the seed corpus in fuzz/corpus. New inputs
# collect in the build directory; a crashing input is saved there too and
# the script fails.
set -euo pipefail
secs=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
  -DSTORLOOK_FUZZ=ON -DSTORLOOK_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target dump_msg_fuzzer

work="$build/corpus"
mkdir -p "$work"
# -close_fd_mask=3 silences the tool's own report; sanitizer reports still
# reach stderr.
"$build/fuzz/dump_msg_fuzzer" -max_total_time="$secs" -close_fd_mask=3 \
  -print_final_stats=1 -artifact_prefix="$build/" "$work" "$root/fuzz/corpus"
