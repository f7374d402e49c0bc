#!/usr/bin/env bash
# Runs the README's test command in a fresh minimal Debian 13 root, made
# with mmdebstrap from nothing, as on a new Debian 13 machine: whatever the
# command does not install, the root does not have. Needs root.
# usage: .ci/debian13.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash .ci/need.sh mmdebstrap
cmd=$(grep -m 1 '^apt-get update .*libgtest-dev' README.md)
root=$(mktemp -d /var/tmp/storlook-debian13.XXXXXX)
cleanup() {
  for m in dev/pts dev proc; do umount "$root/$m" 2>/dev/null || true; done
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT
mmdebstrap --quiet --variant=minbase trixie "$root"
# The checkout as it is, without what builds left in it.
mkdir "$root/src"
tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$root/src"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
mount --bind /proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
chroot "$root" /usr/bin/env -i HOME=/root DEBIAN_FRONTEND=noninteractive \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  bash -c "cd /src && $cmd" </dev/null
