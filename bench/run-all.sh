#!/usr/bin/env bash
# Runs every benchmark executable of a build folder and prints its figures.
set -euo pipefail
build=${1:-build-bench}
status=0
for exe in "$build"/bench/*_bench; do
  [[ -x "$exe" ]] || continue
  echo "== $(basename "$exe")"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$exe" || status=1
done
exit $status
