#!/usr/bin/env bash
# Installs a Norvane package (needs root) and checks the installed programs
# from the installed files only: the package depends on Qt's libraries;
# norvane-cli --help and --version; the wizard started offscreen in an empty
# folder, where it must find the installed Models.ini, open its first page
# and end with code 2 (no firmware files); then norvane-cli --list on the
# sample devices played by the installed norvane-sim, with the sample
# firmware of /usr/share/norvane/samples.
# Usage: scripts/check-installed.sh PACKAGE.deb [QT_PLUGINS]
#   QT_PLUGINS  folder of the tests' Qt plugin that closes the wizard
#               (build/default/tests/qtplugins); without it the wizard is
#               not started
set -euo pipefail
deb=$(realpath "$1")
plugins=${2:+$(realpath "$2")}
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" >/dev/null
share=/usr/share/norvane
for file in /usr/bin/norvane /usr/bin/norvane-cli /usr/bin/norvane-sim "$share/Models.ini" \
            "$share/samples/devices.ini" "$share/udev/99-norvane-no-modemmanager.rules" \
            /usr/share/applications/norvane.desktop /usr/share/icons/hicolor/scalable/apps/norvane.svg; do
  [ -e "$file" ] || { echo "check-installed: $file is missing" >&2; exit 1; }
done
depends=$(dpkg-query -W -f '${Depends}' norvane)
for lib in libqt6core6 libqt6gui6 libqt6widgets6; do
  case "$depends" in
    *"$lib "*) ;;
    *) echo "check-installed: the package does not depend on $lib: $depends" >&2; exit 1 ;;
  esac
done
norvane-cli --help | grep -q -- '--list'
norvane-cli --version

if [ -n "$plugins" ]; then
  empty=$(mktemp -d)
  status=0
  output=$(cd "$empty" && QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$plugins" \
           QT_QPA_GENERIC_PLUGINS=norvaneacceptboxes NORVANE_PORTS="$empty" timeout 60 norvane 2>/dev/null) || status=$?
  rm -rf "$empty"
  if [ "$output" != "modal: CWizard" ] || [ "$status" != 2 ]; then
    echo "check-installed: norvane did not open its wizard (exit code $status): $output" >&2
    exit 1
  fi
  echo "check-installed: norvane opened its wizard (no firmware files: exit code 2)"
else
  echo "check-installed: the wizard's start is not checked (no Qt plugin folder given)"
fi

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
