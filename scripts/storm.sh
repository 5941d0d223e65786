#!/usr/bin/env bash
# Restarts the sanitizer build of the app ROUNDS times (default 200) on a private Xvfb: start, wait
# for the panel, SIGTERM; every other round is ended during start-up.
# Usage: scripts/storm.sh [rounds]   (STORM_BUILD_DIR picks an existing build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
rounds="${1:-200}"
if [ -n "${STORM_BUILD_DIR:-}" ]; then
  cmake --build "$STORM_BUILD_DIR" -j2 --target tst_panel_x11
  dir="$STORM_BUILD_DIR"
else
  dir="$("$root/scripts/build.sh" sanitize --target tst_panel_x11 | tail -n 1)"
fi
# shellcheck source=xvfb.sh
. "$root/scripts/xvfb.sh"
start_xvfb 150 190
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
QUORVIN_STORM_ROUNDS="$rounds" QT_QPA_PLATFORM=xcb "$dir/tests/app/tst_panel_x11" restartStorm
