#!/usr/bin/env bash
# Runs the test program under Debian's own kernels: Debian 12's (6.1,
# Landlock ABI 2), each architecture booted twice, with the kernel's default
# LSM list and with one that leaves Landlock out; Debian 13's (6.12, Landlock
# ABI 6) with Landlock; and Debian 13's x86_64 kernel once more with
# ia32_emulation=0, a kernel with no 32-bit entry (the i686 program is not
# booted there). The initramfs holds a static busybox, the statically linked
# tool and test program at the paths they were built at, the examples, and
# an /init that runs the suite (without the Slow tests), prints it on the
# console and powers off. The i686 program runs on the amd64 kernel, as on a
# PC with a 32-bit system; x86 boots use KVM where it works, TCG elsewhere.
# Kernels and busybox come from Debian's packages for each architecture, by
# the names the archive gives them today, through package lists of each
# release's own, kept in build-kernels/, from the archive this machine uses.
# A package list that cannot be renewed is a warning: the step goes on with
# the lists it has. For each boot it prints
#   kernel DEB ARCH LSM: N passed, F failed, S skipped; confinement: ran|skipped
# (DEB 12 or 13; LSM landlock, none or no32) and the boot's time, and it
# fails if a boot fails, hangs, prints no summary, fails a test or skips the
# confinement table, or if a package it needs cannot be fetched.
# usage: .ci/kernels.sh [ARCH...]   (x86_64 i686 arm64 armhf s390x; default all)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build-kernels
mkdir -p "$work"
archs=("$@")
((${#archs[@]})) || archs=(x86_64 i686 arm64 armhf s390x)
timeout_s=${KERNEL_BOOT_TIMEOUT:-420}

declare -A deb=([x86_64]=amd64 [i686]=amd64 [arm64]=arm64 [armhf]=armhf [s390x]=s390x)
declare -A kernel=([x86_64]=cloud-amd64 [i686]=cloud-amd64 [arm64]=cloud-arm64
  [armhf]=armmp-lpae [s390x]=s390x)
declare -A target=([x86_64]="" [i686]=i686-linux-gnu [arm64]=aarch64-linux-gnu
  [armhf]=arm-linux-gnueabihf [s390x]=s390x-linux-gnu)
declare -A console=([x86_64]=ttyS0 [i686]=ttyS0 [arm64]=ttyAMA0 [armhf]=ttyAMA0 [s390x]=ttysclp0)
declare -A qemu=([x86_64]="qemu-system-x86_64 -M q35 -accel tcg -cpu max"
  [arm64]="qemu-system-aarch64 -M virt -cpu cortex-a57"
  [armhf]="qemu-system-arm -M virt -cpu cortex-a15"
  [s390x]="qemu-system-s390x -M s390-ccw-virtio")

packages=(cmake make cpio qemu-system-x86 qemu-system-arm qemu-system-misc googletest)
foreign=()
for arch in "${archs[@]}"; do
  [ -n "${deb[$arch]:-}" ] || { echo "unknown architecture: $arch"; exit 2; }
  [ -n "${target[$arch]}" ] && packages+=("g++-${target[$arch]}") || packages+=(g++ libgtest-dev)
  [ "${deb[$arch]}" = "$(dpkg --print-architecture)" ] || foreign+=("${deb[$arch]}")
done
fresh=0
for a in $(printf '%s\n' "${foreign[@]}" | sort -u); do
  dpkg --print-foreign-architectures | grep -qx "$a" || { dpkg --add-architecture "$a"; fresh=1; }
done
# renew [APT OPTION...]: package lists renewed, or a warning.
renew() {
  apt-get "$@" update -q >/dev/null 2>&1 ||
    echo "warning: apt-get update failed; going on with the package lists there are" >&2
}
((fresh == 0)) || renew
bash .ci/need.sh "${packages[@]}"

# Each release's own package lists, kept in $work, from the archive this
# machine's sources name: the kernels are those of the release named,
# whatever release this machine runs.
declare -A suite=([12]=bookworm [13]=trixie)
uri=$(apt-get indextargets --format '$(REPO_URI)' 'Identifier: Packages' 'Label: Debian' | head -n 1)
[ -n "$uri" ] || # lists not fetched yet: the first source that is not the security archive
  uri=$(apt-get indextargets --format '$(REPO_URI)' 'Identifier: Packages' | grep -v security | head -n 1)
opts() {
  echo -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$work/apt-$1/sources" \
    -o Dir::State::Lists="$work/apt-$1/lists" -o Dir::Cache="$work/apt-$1/cache"
}
for rel in 12 13; do
  if [ ! -d "$work/apt-$rel/lists" ]; then
    mkdir -p "$work/apt-$rel/sources" "$work/apt-$rel/lists/partial" "$work/apt-$rel/cache/archives/partial"
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' "$uri" \
      "${suite[$rel]}" /usr/share/keyrings/debian-archive-keyring.gpg >"$work/apt-$rel/sources/debian.sources"
    # shellcheck disable=SC2046
    renew $(opts "$rel")
  fi
done

# fetch DEB DEBARCH PACKAGE: the package's files, unpacked once into $work;
# a download is tried three times, a few seconds apart.
fetch() {
  local dir="$work/unpacked/$1/$3_$2" try
  if [ ! -d "$dir" ]; then
    mkdir -p "$work/debs-$1" "$dir.tmp"
    for try in 1 2 3; do
      # shellcheck disable=SC2046
      (cd "$work/debs-$1" && apt-get $(opts "$1") download -q "$3:$2" >/dev/null 2>&1) && break
      [ "$try" = 3 ] && { echo "cannot fetch $3:$2 (Debian $1)" >&2; rm -rf "$dir.tmp"; return 1; }
      sleep $((try * 5))
    done
    dpkg-deb -x "$(ls -t "$work/debs-$1/${3}_"*"_$2.deb" | head -n 1)" "$dir.tmp" || return 1
    mv "$dir.tmp" "$dir" || return 1
  fi
  echo "$dir"
}

# current DEB DEBARCH META: the package a metapackage such as
# linux-image-cloud-arm64 stands for now.
current() {
  # shellcheck disable=SC2046
  apt-cache $(opts "$1") depends "$3:$2" | sed -n 's/^ *Depends: \(linux-image-[^:]*\).*/\1/p' | head -n 1
}

# kernel_of DEB ARCH: the kernel's image: the one the metapackage (such as
# linux-image-cloud-arm64) stands for, else, where the archive cannot hand
# that one out (a mirror mid-sync answers 404), the newest other image of
# the same flavour that it can. Package lists older than the archive may
# name only versions it has dropped: they are renewed once.
kernel_of() {
  local d=${deb[$2]} flavour=${kernel[$2]} pkg dir try
  for try in 1 2; do
    # shellcheck disable=SC2046
    for pkg in $(current "$1" "$d" "linux-image-$flavour") \
      $(apt-cache $(opts "$1") pkgnames linux-image- | grep -E "^linux-image-[0-9].*-$flavour\$" | sort -rV); do
      dir=$(fetch "$1" "$d" "$pkg" 2>/dev/null) && { ls "$dir"/boot/vmlinuz-*; return 0; }
    done
    # shellcheck disable=SC2046
    [ "$try" = 2 ] || renew $(opts "$1")
  done
  echo "no kernel of linux-image-$flavour:$d (Debian $1) to download" >&2
  return 1
}

# build ARCH: the directory of a static build of the tool and test program.
build() {
  local t=${target[$1]} dir options=(-DSTORLOOK_TESTS=ON)
  if [ -n "$t" ]; then
    dir=build-${t%%-*}
    [ -f "$dir/CMakeCache.txt" ] || options+=(-DCMAKE_TOOLCHAIN_FILE="cmake/$t.cmake")
    options+=(-DSTORLOOK_GTEST_SOURCE=/usr/src/googletest)
  else
    dir=build-static
    options+=(-DCMAKE_EXE_LINKER_FLAGS=-static)
  fi
  { cmake -S . -B "$dir" "${options[@]}" &&
    cmake --build "$dir" -j2 --target storlook storlook_tests; } >"$work/build-$1.log" 2>&1 ||
    { cat "$work/build-$1.log" >&2; return 1; }
  echo "$dir"
}

# initramfs ARCH BUILD: the archive the kernel starts from.
initramfs() {
  local arch=$1 dir=$2 rd="$work/rootfs-$1"
  rm -rf "$rd"
  mkdir -p "$rd"/{bin,dev,proc,sys,tmp} "$rd$root/$dir/tests"
  cp "$(fetch 12 "${deb[$arch]}" busybox-static)/bin/busybox" "$rd/bin/"
  cp "$dir/storlook" "$rd$root/$dir/"
  cp "$dir/tests/storlook_tests" "$rd$root/$dir/tests/"
  cp -r examples "$rd$root/"
  if [ -n "${target[$arch]}" ]; then
    # The test program starts the tool through qemu-user; here it runs as is.
    local emulator
    emulator=$(sed -n 's/^set(CROSS_EMULATOR \(.*\))$/\1/p' "cmake/${target[$arch]}.cmake")
    printf '#!/bin/sh\nexec "$@"\n' >"$rd/bin/$emulator"
    chmod +x "$rd/bin/$emulator"
  fi
  cat >"$rd/init" <<EOF
#!/bin/busybox sh
/bin/busybox --install -s /bin
export PATH=/bin TMPDIR=/scratch HOME=/scratch
mount -t devtmpfs dev /dev
exec </dev/console >/dev/console 2>&1
ln -s /proc/self/fd /dev/fd
for n in 0:stdin 1:stdout 2:stderr; do ln -s /proc/self/fd/\${n%:*} /dev/\${n#*:}; done
mount -t proc proc /proc
mount -t sysfs sys /sys
mkdir /dev/pts && mount -t devpts devpts /dev/pts
mkdir /scratch && mount -t tmpfs scratch /scratch
mount -t securityfs securityfs /sys/kernel/security
echo "lsm: \$(cat /sys/kernel/security/lsm)"
$root/$dir/tests/storlook_tests --gtest_filter=-Slow.* --gtest_color=no
echo "suite ended: \$?"
poweroff -f
EOF
  chmod +x "$rd/init"
  (cd "$rd" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd-$arch.gz"
}

# boot DEB ARCH LSM: boots once, prints the contract line; fails as the
# suite does.
boot() {
  local rel=$1 arch=$2 lsm=$3 log="$work/boot-$1-$2-$3.log" start=$SECONDS vmlinuz
  vmlinuz=$(kernel_of "$rel" "$arch") || return 1
  local append="console=${console[$arch]} panic=-1 quiet loglevel=1 rdinit=/init"
  [ "$lsm" != none ] || append+=" lsm=lockdown,yama,apparmor"
  [ "$lsm" != no32 ] || append+=" ia32_emulation=0"
  # shellcheck disable=SC2086
  timeout "$timeout_s" ${qemu[$arch]} -smp 1 -m 1024 -nographic -monitor none -no-reboot \
    -kernel "$vmlinuz" -initrd "$work/initrd-$arch.gz" -append "$append" \
    </dev/null 2>&1 | tr -d '\r' >"$log" || true
  local secs=$((SECONDS - start))
  count() { sed -n "s/^\[  $1  *\] \([0-9]*\) tests*[,.].*/\1/p" "$log" | tail -n 1; }
  local passed failed skipped conf=skipped
  passed=$(count PASSED) failed=$(count FAILED) skipped=$(count SKIPPED)
  grep -Eq '^\[ +(OK|FAILED) +\] Hostile.ConfinedProcessOnlyReads' "$log" && conf=ran
  if [ -z "$passed" ]; then
    echo "kernel $rel $arch $lsm: no summary after $secs s (timeout ${timeout_s} s); the console's end:"
    tail -n 30 "$log"
    return 1
  fi
  echo "kernel $rel $arch $lsm: $passed passed, ${failed:-0} failed, ${skipped:-0} skipped; confinement: $conf"
  echo "  booted, tested and powered off in $secs s; $(grep -o -m 1 'lsm: .*' "$log" || true)"
  awk '/^\[ RUN      \]/ { t = $4 } /: Skipped$/ { getline r; print "  skipped " t ": " r }' "$log"
  if [ -n "$failed" ] || [ "$conf" != ran ]; then
    grep -E '^\[  FAILED  \]|Failure|Which is|as Landlock' "$log" | head -n 40
    return 1
  fi
}

# x86 boots take KVM where it works: a guest that only powers off must do
# so. (Nested under another hypervisor, KVM has been seen to stop a guest on
# an instruction it could not emulate, which would hang every boot.)
if [[ " ${archs[*]} " =~ " x86_64 "|" i686 " ]] && [ -w /dev/kvm ]; then
  probe="$work/rootfs-probe"
  mkdir -p "$probe"
  cp "$(fetch 12 amd64 busybox-static)/bin/busybox" "$probe/"
  printf '#!/busybox sh\n/busybox poweroff -f\n' >"$probe/init"
  chmod +x "$probe/init"
  (cd "$probe" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd-probe.gz"
  if timeout 20 qemu-system-x86_64 -M q35 -accel kvm -cpu host -m 256 -nographic \
    -monitor none -no-reboot -kernel "$(kernel_of 12 x86_64)" -initrd "$work/initrd-probe.gz" \
    -append "console=ttyS0 panic=-1 quiet rdinit=/init" </dev/null >/dev/null 2>&1; then
    qemu[x86_64]="qemu-system-x86_64 -M q35 -accel kvm -cpu host"
  fi
  echo "x86 boots under ${qemu[x86_64]#* -M q35 -accel }"
fi
qemu[i686]=${qemu[x86_64]}

# Each architecture's boots, two side by side, one core each: Debian 12's
# with Landlock and without, Debian 13's, and on x86_64 Debian 13's without
# a 32-bit entry.
status=0
for arch in "${archs[@]}"; do
  dir=$(build "$arch")
  initramfs "$arch" "$dir"
  for rel in 12 13; do  # fetched once, before the boots that share them
    kernel_of "$rel" "$arch" >/dev/null || status=1
  done
  boots=("12 landlock" "12 none" "13 landlock")
  [ "$arch" != x86_64 ] || boots+=("13 no32")
  for ((i = 0; i < ${#boots[@]}; i += 2)); do
    pids=()
    for b in "${boots[@]:i:2}"; do
      # shellcheck disable=SC2086
      boot ${b%% *} "$arch" ${b#* } >"$work/result-$arch-${b/ /-}" 2>&1 &
      pids+=($!)
    done
    for p in "${pids[@]}"; do wait "$p" || status=1; done
    for b in "${boots[@]:i:2}"; do cat "$work/result-$arch-${b/ /-}"; done
  done
done
exit $status
