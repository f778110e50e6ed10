#!/usr/bin/env bash
# Saves a picture of the real main window in one of window_look's scenes (batch,
# menu, click, box), drawn by the xcb platform on a virtual display.
#
#   tools/window-look.sh [scene] [out.png] [build-dir]   (defaults: batch, window.png, build)
#
# Needs Xvfb (installed by scripts/install-deps.sh) and a configured build folder.
# Set WINDOW_LOOK_WM=openbox (or another window manager) for title bars.
set -euo pipefail

scene="${1:-batch}"
out="${2:-window.png}"
build="${3:-build}"
display="${WINDOW_LOOK_DISPLAY:-:87}"

cmake --build "$build" --target window_look >/dev/null
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" ${wm:-} 2>/dev/null || true' EXIT
# Until the display answers, at most five seconds.
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
if [ -n "${WINDOW_LOOK_WM:-}" ]; then
  DISPLAY="$display" "$WINDOW_LOOK_WM" &
  wm=$!
  sleep 1
fi
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$build/tools/window_look" "$scene" "$out"
