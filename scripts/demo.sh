#!/usr/bin/env bash
# Installs what is missing, builds Norvane and runs its built-in demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh default
echo "Norvane is built in build/default. The demo front end is not part of this build yet."
