#!/bin/sh
# Runs storlook under valgrind's memcheck on the examples and on damaged
# files; any memory error or leak fails.
# usage: memcheck.sh STORLOOK SOURCE_DIR
set -eu
tool=$1 src=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

head -c 100 "$src/examples/netmail.msg" >"$dir/short.msg"
head -c 190 "$src/examples/netmail.msg" >"$dir/header.msg"
head -c 191 "$src/examples/netmail.msg" >"$dir/header1.msg"
head -c 300 "$src/examples/echomail.msg" >"$dir/cut.msg"
head -c 600 /dev/zero | tr '\0' '\377' >"$dir/ff.msg"
: >"$dir/empty.msg"

# vg STATUS ARGS...: runs the tool, which must exit with STATUS.
vg() {
  want=$1
  shift
  status=0
  valgrind -q --error-exitcode=99 --leak-check=full \
    --errors-for-leak-kinds=definite,indirect,possible \
    "$tool" "$@" >/dev/null 2>"$dir/log" || status=$?
  if [ "$status" -ne "$want" ]; then
    cat "$dir/log"
    echo "status $status, expected $want: $*"
    exit 1
  fi
}
vg 0 -body "$src"/examples/*.msg "$dir"/*.msg "$dir" "$dir/missing.msg"
vg 0 -ctrl "$src"/examples/*.msg "$dir"/*.msg
vg 0 "$src"/examples/*.msg "$dir"/*.msg
cat "$src/examples/echomail.msg" | vg 0 -body /dev/stdin
vg 0 -x
vg 255
echo "memcheck clean"
