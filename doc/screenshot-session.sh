# Sourced by the doc/*-screenshot.sh scripts, after `set -euo pipefail`: a network of their
# own (unless shot_netns=false), the packages they need (xvfb, xdotool, imagemagick and
# those in shot_packages), a scratch folder $work with a private runtime folder, and a
# cleanup at exit that stops every program whose pid is in pids.
#   start_xvfb WIDTHxHEIGHT   starts an X server and sets xvfb_display to its display

# A network of its own, so that the simulator has its default port whatever else runs.
if [ "${shot_netns:-true}" = true ] && [ -z "${NORVANE_SHOT_NETNS:-}" ]; then
    exec unshare --net env NORVANE_SHOT_NETNS=1 "$0" "$@"
fi
[ "${shot_netns:-true}" = true ] && ip link set lo up
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
need_packages xvfb xdotool imagemagick "${shot_packages[@]}"

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

start_xvfb() {
    local file
    file=$(mktemp -p "$work" display.XXXX)
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$file" 2>/dev/null &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$file" ] && break; sleep 0.1; done
    xvfb_display=":$(cat "$file")"
}
