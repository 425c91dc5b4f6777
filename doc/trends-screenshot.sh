#!/usr/bin/env bash
# Makes doc/trends.png: the real panel under Xvfb against norvane-sim, which stalls
# for 8 s after every 5 s of frames, with the Trends window opened by Ctrl+T.
#   doc/trends-screenshot.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
# A network of its own, so that the simulator has its default port whatever else runs.
if [ -z "${NORVANE_SHOT_NETNS:-}" ]; then
    exec unshare --net env NORVANE_SHOT_NETNS=1 "$0" "$@"
fi
ip link set lo up
source "$(dirname "$0")/../scripts/common.sh"
need_packages xvfb xdotool imagemagick

build=${1:-$norvane_root/build}
seconds=${2:-75}
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
