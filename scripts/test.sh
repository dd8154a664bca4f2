#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset]    presets: default, asan, tsan
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
preset="${1:-default}"
bash scripts/build.sh "$preset"
ctest --preset "$preset"
