#!/usr/bin/env bash
# Saves a picture of the real main window after a batch against the loopback
# stand-in of the share service, drawn by the xcb platform on a virtual display.
#
#   tools/batch-look.sh [out.png] [build-dir]     (defaults: window.png, build)
#
# Needs Xvfb (installed by scripts/install-deps.sh) and a configured build folder.
set -euo pipefail

out="${1:-window.png}"
build="${2:-build}"
display="${BATCH_LOOK_DISPLAY:-:87}"

cmake --build "$build" --target batch_look >/dev/null
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
# Until the display answers, at most five seconds.
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.1
done
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$build/tools/batch_look" "$out"
