#!/usr/bin/env bash
# Makes doc/alarms.png: the real panel under Xvfb against norvane-sim, whose lasers are
# off (three readings out of range from the start) and which stalls for 12 s after 5 s
# of frames (a Link episode), with the Alarms window opened by Ctrl+L.
#   doc/alarms-screenshot.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
shot_packages=()
source "$(dirname "$0")/screenshot-session.sh"
build=${1:-$norvane_root/build}
seconds=${2:-25}
start_xvfb 1400x1000
export DISPLAY=$xvfb_display

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
