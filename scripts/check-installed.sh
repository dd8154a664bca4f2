#!/usr/bin/env bash
# Installs a Norvane package (needs root) and checks the installed programs
# from the installed files only: norvane-cli --help and --version, then
# norvane-cli --list on the sample devices played by the installed
# norvane-sim, with the sample firmware of /usr/share/norvane/samples.
# Usage: scripts/check-installed.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
share=/usr/share/norvane
for file in /usr/bin/norvane-cli /usr/bin/norvane-sim "$share/Models.ini" "$share/samples/devices.ini" \
            "$share/udev/99-norvane-no-modemmanager.rules"; do
  [ -e "$file" ] || { echo "check-installed: $file is missing" >&2; exit 1; }
done
norvane-cli --help | grep -q -- '--list'
norvane-cli --version

work=$(mktemp -d)
sim=""
cleanup() {
  if [ -n "$sim" ]; then kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
cp "$share"/samples/*.HEX "$share"/samples/FlashLdr.hex "$share"/samples/BPFL24.s37 "$work/"
norvane-sim --ports "$work/ports" --config "$share/samples/devices.ini" >"$work/sim.log" 2>&1 &
sim=$!
for _ in $(seq 100); do
  grep -q '^Ready' "$work/sim.log" && break
  sleep 0.1
done
cd "$work"
NORVANE_PORTS="$work/ports" NORVANE_TIME_SCALE=0.2 norvane-cli --list | tee "$work/list.txt"
grep -q 'QBX7720 - Version 4.xx: 2 port(s): COM1 COM2' "$work/list.txt"
echo "check-installed: the installed programs work"
