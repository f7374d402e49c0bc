#!/usr/bin/env bash
# Times storlook against baselines reading the same files, in one run, and
# prints each workload's medians and their ratio.
#   A: storlook -body over the area       vs  the floor (bench/floor.cc), cat
#   B: storlook -body on the huge message vs  tr '\r' '\n' on it
#   C: storlook (header report) over area vs  the floor, cat
#   D: peak resident memory of B (GNU time), against the message size
#   E: system calls per message file of A (strace -c), against the floor
#   F: storlook over 100,000 files named across 1,000 folders by find
#      -exec, confined vs unconfined; and the confined build's set-up before
#      its first file (Landlock's grants for every named folder), as a share
#      of that run: measured with an unknown option first, which ends a run
#      right after the set-up.
# The floor opens each file, reads it with one read, writes it and closes it.
# A and C are also timed with a build that does not confine itself, against
# the floor and head to head: what Landlock and the system call filter cost.
# B is also timed with the text walk built without -fvect-cost-model=cheap,
# head to head: what that flag pays. Every build is the default optimised
# one (RelWithDebInfo, -O2), as packages ship it.
# usage: bench/run.sh [RUNS]   (corpus in $BENCH_CORPUS, default /tmp/storlook-corpus)
set -euo pipefail
runs=${1:-7}
root=$(cd "$(dirname "$0")/.." && pwd)
corpus=${BENCH_CORPUS:-/tmp/storlook-corpus}
build="$root/build-bench"

# variant NAME CMAKE_OPTION...: builds the tool in $build-NAME.
variant() {
  local dir="$build${1:+-$1}"
  shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSTORLOOK_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j2 --target storlook >/dev/null
}
variant "" -DSTORLOOK_CONFINE=ON -USTORLOOK_TEXT_WALK_FLAGS
variant unconfined -DSTORLOOK_CONFINE=OFF
variant plain-walk -DSTORLOOK_TEXT_WALK_FLAGS=
tool="$build/storlook"
unconfined="$build-unconfined/storlook"
plain_walk="$build-plain-walk/storlook"
floor="$build/floor"
"${CXX:-g++}" -O2 -o "$floor" "$root/bench/floor.cc"
[ -f "$corpus/folders/999/99.msg" ] || { rm -rf "$corpus" && python3 "$root/bench/make_corpus" "$corpus"; }

# Milliseconds taken by one run of the command, its output discarded.
ms() {
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# compare NAME "STORLOOK CMD" "BASELINE CMD": alternating runs after a warm-up.
compare() {
  local name=$1 ours=$2 base=$3 i a=() b=()
  bash -c "$ours" >/dev/null 2>&1
  bash -c "$base" >/dev/null 2>&1
  for ((i = 0; i < runs; i++)); do
    a+=("$(ms bash -c "$ours")")
    b+=("$(ms bash -c "$base")")
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  awk -v n="$name" -v a="$ma" -v b="$mb" \
    'BEGIN { printf "%-34s storlook %6d ms  baseline %6d ms  ratio %.2f\n", n, a, b, a / (b ? b : 1) }'
}

cd "$corpus/area"
echo "storlook benchmark: $(nproc) cores, $runs runs each, medians"
compare "A -body, 20000 files vs floor" "$tool -body *.msg >/dev/null" "$floor *.msg >/dev/null"
compare "A' -body, unconfined, vs floor" "$unconfined -body *.msg >/dev/null" "$floor *.msg >/dev/null"
compare "A -body, confined vs unconfined" "$tool -body *.msg >/dev/null" "$unconfined -body *.msg >/dev/null"
compare "A -body, 20000 files vs cat" "$tool -body *.msg >/dev/null" "cat *.msg >/dev/null"
compare "B -body, $(($(stat -c %s ../huge.msg) / 1000000)) MB message vs tr" \
  "$tool -body ../huge.msg >/dev/null" "tr '\r' '\n' <../huge.msg >/dev/null"
compare "B -body, cheap vectorizing vs without" \
  "$tool -body ../huge.msg >/dev/null" "$plain_walk -body ../huge.msg >/dev/null"
compare "C header report, 20000 files vs floor" "$tool *.msg >/dev/null" "$floor *.msg >/dev/null"
compare "C' header report, unconfined, vs floor" "$unconfined *.msg >/dev/null" "$floor *.msg >/dev/null"
compare "C header, confined vs unconfined" "$tool *.msg >/dev/null" "$unconfined *.msg >/dev/null"
compare "C header report, 20000 files vs cat" "$tool *.msg >/dev/null" "cat *.msg >/dev/null"

# GNU time's own footprint is small; a forking Python parent would count its
# own pages in the child's peak.
if [ -x /usr/bin/time ]; then
  peak_kb=$(/usr/bin/time -f %M "$tool" -body ../huge.msg 2>&1 >/dev/null | tail -n 1)
  size=$(stat -c %s ../huge.msg)
  awk -v p="$peak_kb" -v s="$size" 'BEGIN {
    printf "D peak memory of B                 %6.1f MiB for a %.1f MiB message (target %.1f MiB)\n",
      p / 1024, s / 1048576, s / 1048576 + 16 }'
else
  echo "D peak memory: install the 'time' package for /usr/bin/time"
fi

# System calls per file over the first 1000 messages, start-up included.
if command -v strace >/dev/null; then
  files=(*.msg)
  files=("${files[@]:0:1000}")
  log=$(mktemp)
  calls() {
    strace -c -o "$log" "$@" >/dev/null 2>&1
    awk '$NF == "total" { print $(NF - 2) }' "$log"
  }
  awk -v s="$(calls "$tool" -body "${files[@]}")" -v f="$(calls "$floor" "${files[@]}")" \
    'BEGIN { printf "E system calls per file, -body      storlook %.2f  floor %.2f\n", s / 1000, f / 1000 }'
  rm -f "$log"
else
  echo "E system calls: install strace"
fi

# F: the set-up against the run, over 100,000 files in 1,000 folders.
cd "$corpus"
each() { echo "find folders -name '*.msg' -exec $1 {} + >/dev/null 2>&1"; }
compare "F 100000 files, 1000 folders, confined vs unconfined" "$(each "$tool")" "$(each "$unconfined")"
med() {
  local i t=()
  for ((i = 0; i < runs; i++)); do t+=("$(ms bash -c "$1")"); done
  printf '%s\n' "${t[@]}" | median
}
run_ms=$(med "$(each "$tool")")
setup_ms=$(med "$(each "$tool -x")")
start_ms=$(med "$(each "$unconfined -x")")
awk -v r="$run_ms" -v s="$setup_ms" -v u="$start_ms" 'BEGIN {
  printf "F set-up before the first file      %6d ms of a %d ms run: %.1f%%\n", s - u, r, 100 * (s - u) / r }'
