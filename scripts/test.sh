#!/usr/bin/env bash
# Builds Quorvin and runs every test. Usage: scripts/test.sh [--sanitize] [ctest args...]
# Offscreen GUI tests need nothing; tests labelled "xvfb" get a private Xvfb display started here.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
flavour=release
if [ "${1:-}" = "--sanitize" ]; then flavour=sanitize; shift; fi

"$root/scripts/install-deps.sh" build test
dir="$("$root/scripts/build.sh" "$flavour" | tail -n 1)"

xvfb_pid=""
cleanup() { [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true; }
trap cleanup EXIT
for n in $(seq 90 140); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
  break
done

if [ "$flavour" = sanitize ]; then
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cd "$dir"
ctest --output-on-failure -j2 --timeout 600 "$@"
