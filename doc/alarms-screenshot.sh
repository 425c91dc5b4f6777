#!/usr/bin/env bash
# Makes doc/alarms.png: the real panel under Xvfb against norvane-sim, whose lasers are
# off (three readings out of range from the start) and which stalls for 12 s after 5 s
# of frames (a Link episode), with the Alarms window opened by Ctrl+L.
#   doc/alarms-screenshot.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
# A network of its own, so that the simulator has its default port whatever else runs.
if [ -z "${NORVANE_SHOT_NETNS:-}" ]; then
    exec unshare --net env NORVANE_SHOT_NETNS=1 "$0" "$@"
fi
ip link set lo up
source "$(dirname "$0")/../scripts/common.sh"
need_packages xvfb xdotool imagemagick

build=${1:-$norvane_root/build}
seconds=${2:-25}
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
Xvfb -displayfd 3 -screen 0 1400x1000x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

"$build/norvane-sim" --quiet --stall 12 >/dev/null &
pids+=($!)
sleep 0.5
QT_QPA_PLATFORM=xcb "$build/norvane" --incidents "$work/incidents" --no-notify 2>/dev/null &
pids+=($!)

panel=$(xdotool search --sync --name 'Viruduzi$' | head -1)
sleep "$seconds"
xdotool windowfocus --sync "$panel" key ctrl+l
alarms=$(xdotool search --sync --name '^Alarms$' | head -1)
xdotool windowmove "$alarms" 0 0
sleep 1
import -window "$alarms" "$norvane_root/doc/alarms.png"
echo "saved doc/alarms.png"
