#!/usr/bin/env bash
# Builds Norvane (preset default) and its Debian package in
# build/default/package; prints the package's path.
# Usage: scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh default >&2
out="$PWD/build/default/package"
rm -rf "$out"
(cd build/default && cpack -G DEB -B "$out" >&2)
ls "$out"/norvane_*.deb
