#!/bin/sh
# Checks under strace that storlook opens nothing for writing but the null
# device. usage: readonly.sh STORLOOK SOURCE_DIR
set -eu
tool=$1 src=$2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cat "$src/examples/netmail.msg" |
  strace -f -qq -e trace=open,openat,creat -o "$log" \
    "$tool" -body "$src"/examples/*.msg /dev/stdin "$src" missing.msg >/dev/null 2>&1
writes=$(grep -E 'O_WRONLY|O_RDWR|O_CREAT|creat\(' "$log" | grep -v '"/dev/null"' || true)
if [ -n "$writes" ]; then
  echo "opened for writing:"
  echo "$writes"
  exit 1
fi
grep -q '"/dev/null", O_RDWR' "$log" || { echo "null device not opened"; exit 1; }
echo "read-only: $(grep -c 'open' "$log") opens, none for writing"
