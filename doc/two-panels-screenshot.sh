#!/usr/bin/env bash
# Makes doc/two-panels.png: two real panels on two X servers (two desks), attached to one
# NorvaneBench device without a database, while a PyTango script drives the bench.
#   doc/two-panels-screenshot.sh [BUILD_DIR]
set -euo pipefail
shot_packages=(python3-tango)
source "$(dirname "$0")/screenshot-session.sh"
build=${1:-$norvane_root/build}
displays=()
for desk in a b; do
    start_xvfb 390x730
    displays+=("$xvfb_display")
done

"$build/norvane-sim" --quiet >/dev/null &
pids+=($!)
"$build/NorvaneBench" lab -nodb -dlist lab/bench/1 -ORBendPoint giop:tcp:127.0.0.1:45450 >/dev/null 2>&1 &
pids+=($!)
device='tango://127.0.0.1:45450/lab/bench/1#dbase=no'
for _ in $(seq 100); do
    /usr/bin/python3 -c "import tango; tango.DeviceProxy('$device').ping()" 2>/dev/null && break
    sleep 0.2
done

for display in "${displays[@]}"; do
    DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/norvane" --device "$device" 2>/dev/null &
    pids+=($!)
    DISPLAY=$display xdotool search --sync --name '^Viruduzi - ' >/dev/null
done

# The script: the laser current up, the heater on; both panels follow.
/usr/bin/python3 - "$device" <<'PY'
import sys
import time
import tango

bench = tango.DeviceProxy(sys.argv[1])
bench.EclTecOn = True
bench.HeaterOn = True
for current in range(0, 2501, 500):
    bench.EclCurrent = current
    time.sleep(0.3)
print(f"EclCurrentDac {bench.EclCurrentDac}, EclPd {bench.EclPd}")
PY
sleep 2
shots=()
for display in "${displays[@]}"; do
    DISPLAY=$display import -window root "$work/shot-${display#:}.png"
    shots+=("$work/shot-${display#:}.png")
done
convert "${shots[@]}" -bordercolor '#808080' -border 2 +append "$norvane_root/doc/two-panels.png"
echo "saved doc/two-panels.png"
