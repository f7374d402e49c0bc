#!/bin/sh
# Checks under strace that storlook opens nothing for writing but the null
# device, which it neither creates nor truncates, and that where the kernel has Landlock, the tool confines itself
# before it opens the first message file. usage: readonly.sh STORLOOK SOURCE_DIR
set -eu
tool=$1 src=$2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cat "$src/examples/netmail.msg" |
  strace -f -qq -e trace=open,openat,creat,landlock_create_ruleset,landlock_restrict_self -o "$log" \
    "$tool" -body "$src"/examples/*.msg /dev/stdin "$src" missing.msg >/dev/null 2>&1
# The null device, for writing only (musl adds O_LARGEFILE).
null='"/dev/null", O_WRONLY\|O_NOCTTY(\|O_LARGEFILE)?\)'
writes=$(grep -E 'O_WRONLY|O_RDWR|O_CREAT|O_TRUNC|creat\(' "$log" | grep -Ev "$null" || true)
if [ -n "$writes" ]; then
  echo "opened for writing:"
  echo "$writes"
  exit 1
fi
grep -Eq "$null" "$log" || { echo "null device not opened"; exit 1; }
# landlock_create_ruleset (444) with only the version flag: the kernel's ABI.
if [ "$(perl -e 'print syscall(444, 0, 0, 1)' 2>/dev/null)" -ge 1 ] 2>/dev/null; then
  first_msg=$(grep -n 'examples/.*\.msg' "$log" | head -n 1 | cut -d: -f1)
  confined=$(grep -nE 'landlock_restrict_self\(.*\) += 0' "$log" | head -n 1 | cut -d: -f1)
  if [ -z "$confined" ] || [ "$confined" -gt "$first_msg" ]; then
    echo "not confined before the first message file was opened"
    exit 1
  fi
fi
echo "read-only: $(grep -c 'open' "$log") opens, none for writing"
