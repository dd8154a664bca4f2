#!/usr/bin/env bash
# Installs what is missing, builds Norvane and updates simulated devices with
# the real program: norvane-sim plays the devices of data/demo/devices.ini on
# pseudo-terminals, and norvane-cli --yes updates them from a fresh working
# folder holding the sample firmware and loaders; with --gui the wizard
# opens on the same devices instead (it needs a display). The simulator is
# stopped at the end.
# Usage: scripts/demo.sh [--gui] [--scale X] [--keep] [more options of the program]
#   --scale X  run the clocks X times as slow (0.2: five times as fast)
#   --keep     keep the working folder (firmware, log.txt with -d)
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
gui=0
keep=0
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --gui) gui=1 ;;
    --keep) keep=1 ;;
    --scale) export NORVANE_TIME_SCALE="$2"; shift ;;
    *) args+=("$1") ;;
  esac
  shift
done

bash scripts/setup.sh
bash scripts/build.sh default
bin="$source_dir/build/default"
program="$bin/norvane-cli"
if [ "$gui" = 1 ]; then
  program="$bin/app/norvane"
  if [ ! -x "$program" ]; then
    echo "demo.sh: the wizard ($program) is not built" >&2
    exit 1
  fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/norvane-demo-XXXXXX")
sim=""
cleanup() {
  if [ -n "$sim" ]; then
    kill "$sim" 2>/dev/null || true
    wait "$sim" 2>/dev/null || true
  fi
  if [ "$keep" = 1 ]; then echo "Kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

cp data/demo/*.HEX data/FlashLdr.hex data/BPFL24.s37 "$work/"
"$bin/norvane-sim" --ports "$work/ports" --config data/demo/devices.ini >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q '^Ready' "$work/sim.log" && break
  kill -0 "$sim" 2>/dev/null || { cat "$work/sim.log" >&2; exit 1; }
  sleep 0.1
done
sed -n 's/ linked as .*//p' "$work/sim.log" | sed 's/^/Simulated /'

export NORVANE_PORTS="$work/ports"
cd "$work"
status=0
if [ "$gui" = 1 ]; then
  "$program" ${args[@]+"${args[@]}"} || status=$?
else
  "$program" --yes ${args[@]+"${args[@]}"} || status=$?
fi
exit "$status"
