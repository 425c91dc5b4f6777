#!/usr/bin/env bash
# Makes doc/two-panels.png: two real panels on two X servers (two desks), attached to one
# NorvaneBench device without a database, while a PyTango script drives the bench.
#   doc/two-panels-screenshot.sh [BUILD_DIR]
set -euo pipefail
# A network of its own, so that the simulator has its default port whatever else runs.
if [ -z "${NORVANE_SHOT_NETNS:-}" ]; then
    exec unshare --net env NORVANE_SHOT_NETNS=1 "$0" "$@"
fi
ip link set lo up
source "$(dirname "$0")/../scripts/common.sh"
need_packages xvfb xdotool imagemagick python3-tango

build=${1:-$norvane_root/build}
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
displays=()
for desk in a b; do
    Xvfb -displayfd 3 -screen 0 390x730x24 -nolisten tcp 3>"$work/display-$desk" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display-$desk" ] && break; sleep 0.1; done
    displays+=(":$(cat "$work/display-$desk")")
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
