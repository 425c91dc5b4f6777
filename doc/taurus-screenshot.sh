#!/usr/bin/env bash
# Makes doc/taurus.png: Taurus's generic form showing the bench by name, through the Tango
# database of scripts/tango-demo --keep, against norvane-sim, under Xvfb.
#   doc/taurus-screenshot.sh
set -euo pipefail
# The demo's database needs this machine's network.
shot_netns=false
shot_packages=(python3-taurus)
source "$(dirname "$0")/screenshot-session.sh"

"$norvane_root/scripts/tango-demo" --keep >"$work/demo.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do
    grep -q '^Serving' "$work/demo.log" && break
    kill -0 "${pids[0]}" 2>/dev/null || { cat "$work/demo.log" >&2; exit 1; }
    sleep 0.5
done
grep -q '^Serving' "$work/demo.log" || { cat "$work/demo.log" >&2; exit 1; }

start_xvfb 1200x900
export DISPLAY=$xvfb_display

device=lab/bench/1
attributes=()
for name in State EclPd EclTec EclTemp InjTec InjTemp UpPd EclTecOn EclCurrent; do
    attributes+=("$device/$name")
done
TANGO_HOST=127.0.0.1:10000 QT_QPA_PLATFORM=xcb taurus form "${attributes[@]}" >"$work/taurus.log" 2>&1 &
pids+=($!)
form=$(xdotool search --sync --onlyvisible --pid "${pids[-1]}" | head -1)
xdotool windowmove "$form" 0 0 windowsize "$form" 620 420
sleep 6
import -window "$form" "$norvane_root/doc/taurus.png"
echo "saved doc/taurus.png"
