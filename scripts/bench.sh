#!/usr/bin/env bash
# Builds and runs every benchmark (bench/*/bench_*), or those whose name contains $1; further
# arguments go to each benchmark run (for example: scripts/bench.sh app_start 11).
# bench_app_start starts the real binary on its own Xvfb display, with and without openbox, beside
# CopyQ when it is installed (a "tool" package: scripts/install-deps.sh tool).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" build test
dir="$("$root/scripts/build.sh" release | tail -n 1)"
export QT_QPA_PLATFORM=offscreen
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
filter="${1:-}"
shift || true
for exe in $(find "$dir/bench" -type f -executable -name 'bench_*' | sort); do
  name="$(basename "$exe")"
  [ -n "$filter" ] && [[ "$name" != *"$filter"* ]] && continue
  echo "== $name"
  # Benchmarks never touch the user's real settings or data.
  HOME="$scratch/$name" XDG_CONFIG_HOME="$scratch/$name/config" XDG_DATA_HOME="$scratch/$name/data" \
    XDG_CACHE_HOME="$scratch/$name/cache" "$exe" "$@"
done
