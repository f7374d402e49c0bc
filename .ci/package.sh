#!/usr/bin/env bash
# Installs into a prefix, builds the .deb and .tar.gz from the build
# directory, checks what they hold (lintian on the .deb), uninstalls, and runs
# the packaged binary.
# usage: .ci/package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/.." && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
docs="share/doc/storlook/README.md share/doc/storlook/NEWS.md share/doc/storlook/copyright
  share/doc/storlook/changelog.gz"
for f in bin/storlook share/man/man1/storlook.1.gz $docs; do
  [ -f "$tmp/prefix/$f" ] || { echo "cmake --install: missing $f"; exit 1; }
done
# The manual is compressed without a time stamp: the same source gives the
# same bytes.
gzip -dc "$tmp/prefix/share/man/man1/storlook.1.gz" | cmp - "$build/storlook.1"
cmp "$tmp/prefix/share/man/man1/storlook.1.gz" <(gzip -9nc "$build/storlook.1")

(cd "$build" && rm -f storlook*.deb storlook*.tar.gz && cpack -G DEB >/dev/null && cpack -G TGZ >/dev/null)
deb=$(ls "$build"/storlook_*.deb)
ls "$build"/storlook-*.tar.gz >/dev/null
listing=$(dpkg -c "$deb")
for f in ./usr/bin/storlook ./usr/share/man/man1/storlook.1.gz $(printf './usr/%s ' $docs); do
  grep -q " $f\$" <<<"$listing" || { echo "$deb: missing $f"; exit 1; }
done
for field in Package Version Maintainer Description; do
  [ -n "$(dpkg-deb -f "$deb" "$field")" ] || { echo "$deb: no $field"; exit 1; }
done
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || { echo "$deb: section is not utils"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q libc6 || { echo "$deb: no Depends on libc6"; exit 1; }
lintian --fail-on error,warning "$deb" 2>/dev/null

# `make uninstall` takes back exactly what was installed, even after cpack,
# and the folders the install made, the prefix among them.
(cd "$build" && cmake --build . --target uninstall >/dev/null)
left=$(find "$tmp/prefix" 2>/dev/null || true)
[ -z "$left" ] || { echo "uninstall left: $left"; exit 1; }

dpkg -x "$deb" "$tmp/root"
cd "$src"
# The pinned dump, but for the banner's version.
"$tmp/root/usr/bin/storlook" -body examples/netmail.msg examples/echomail.msg \
  examples/damaged.msg 2>&1 | tail -n +2 | diff - <(tail -n +2 examples/expected.txt)
echo "package: $(basename "$deb") installs and runs"
