#!/usr/bin/env bash
# Makes doc/trends.png: the real panel under Xvfb against norvane-sim, which stalls
# for 8 s after every 5 s of frames, with the Trends window opened by Ctrl+T.
#   doc/trends-screenshot.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
shot_packages=()
source "$(dirname "$0")/screenshot-session.sh"
build=${1:-$norvane_root/build}
seconds=${2:-75}
start_xvfb 1400x1000
export DISPLAY=$xvfb_display

# The panel's built-in address and port are the simulator's defaults.
"$build/norvane-sim" --quiet --stall 8 >/dev/null &
pids+=($!)
sleep 0.5
QT_QPA_PLATFORM=xcb "$build/norvane" 2>/dev/null &
pids+=($!)

panel=$(xdotool search --sync --name '^Viruduzi$' | head -1)
xdotool windowfocus --sync "$panel" key ctrl+t
trends=$(xdotool search --sync --name '^Trends$' | head -1)
xdotool windowmove "$trends" 0 0
sleep "$seconds"
# The cursor a little left of the newest data, where the readout has values to show;
# of ten shots a second apart, the one whose readout line holds the most text is kept,
# as the simulator's stalls leave some moments with nothing under the cursor.
xdotool mousemove --window "$trends" 1000 300
best=0
for shot in $(seq 10); do
    sleep 1
    import -window "$trends" "$work/shot$shot.png"
    ink=$(convert "$work/shot$shot.png" -gravity south -crop 100%x6%+0+0 -colorspace gray -threshold 50% \
          -format '%[fx:1-mean]' info:)
    if awk -v a="$ink" -v b="$best" 'BEGIN { exit !(a > b) }'; then
        best=$ink
        cp "$work/shot$shot.png" "$norvane_root/doc/trends.png"
    fi
done
echo "saved doc/trends.png"
