#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite.
# Usage: scripts/test.sh [preset]    presets: default, asan, tsan
#        scripts/test.sh stress      the default suite with two CPU-bound
#                                    processes running beside it all along
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
mode="${1:-default}"
preset="$mode"
if [ "$mode" = stress ]; then
  preset=default
fi
bash scripts/build.sh "$preset"

if [ "$mode" != stress ]; then
  ctest --preset "$preset"
  exit
fi

# Each load process spins in the shell and looks now and then whether this
# script still runs, so it ends even when the script is killed outright.
hogs=()
stop_hogs() {
  local pid
  for pid in "${hogs[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  hogs=()
}
trap stop_hogs EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
owner=$$
for _ in 1 2; do
  (
    trap - EXIT INT TERM HUP
    while kill -0 "$owner" 2>/dev/null; do
      for ((i = 0; i < 200000; i++)); do :; done
    done
  ) &
  hogs+=("$!")
done
echo "Running the suite beside ${#hogs[@]} CPU-bound processes (${hogs[*]})"
ctest --preset default
