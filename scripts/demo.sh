#!/usr/bin/env bash
# Installs what is missing, builds Norvane and runs its built-in demo: a
# whole update of simulated devices (see demo/NorvaneDemo.cpp).
# Usage: scripts/demo.sh [--scale X] [--log] [--keep]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh default
exec build/default/norvane-demo "$@"
