#!/usr/bin/env bash
# Runs the store soak test for MINUTES (default 10) in a scratch HOME.
# Usage: scripts/soak.sh [minutes]   (QUORVIN_SOAK_SEED=<n> repeats a run; SOAK_BUILD_DIR picks a build)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
minutes="${1:-10}"
if [ -n "${SOAK_BUILD_DIR:-}" ]; then
  cmake --build "$SOAK_BUILD_DIR" -j2 --target tst_soak
  dir="$SOAK_BUILD_DIR"
else
  "$root/scripts/install-deps.sh" build test
  dir="$("$root/scripts/build.sh" release --target tst_soak | tail -n 1)"
fi
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/runtime"
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
  XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen QUORVIN_SOAK_SECONDS=$((minutes * 60))
"$dir/tests/soak/tst_soak"
