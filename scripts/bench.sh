#!/usr/bin/env bash
# Builds and runs every benchmark (bench/*/bench_*), or those whose name contains $1.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" build test
dir="$("$root/scripts/build.sh" release | tail -n 1)"
export QT_QPA_PLATFORM=offscreen
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
for exe in $(find "$dir/bench" -type f -executable -name 'bench_*' | sort); do
  name="$(basename "$exe")"
  [ -n "${1:-}" ] && [[ "$name" != *"$1"* ]] && continue
  echo "== $name"
  # Benchmarks never touch the user's real settings or data.
  HOME="$scratch/$name" XDG_CONFIG_HOME="$scratch/$name/config" XDG_DATA_HOME="$scratch/$name/data" \
    XDG_CACHE_HOME="$scratch/$name/cache" "$exe"
done
