#!/usr/bin/env bash
# Installs those of the named Debian packages that are not installed yet;
# the package lists are fetched only when something is missing.
# usage: .ci/need.sh PACKAGE...
set -euo pipefail
missing=()
for pkg in "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q || echo "warning: apt-get update failed; going on with the package lists there are" >&2
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
