#!/usr/bin/env bash
# Builds Quorvin and runs every test. Usage: scripts/test.sh [--sanitize] [ctest args...]
# Offscreen GUI tests need nothing; tests labelled "xvfb" get a private Xvfb display started here.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
flavour=release
if [ "${1:-}" = "--sanitize" ]; then flavour=sanitize; shift; fi

"$root/scripts/install-deps.sh" build test
dir="$("$root/scripts/build.sh" "$flavour" | tail -n 1)"

# shellcheck source=xvfb.sh
. "$root/scripts/xvfb.sh"
start_xvfb 90 140

if [ "$flavour" = sanitize ]; then
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cd "$dir"
ctest --output-on-failure -j2 --timeout 600 "$@"
