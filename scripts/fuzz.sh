#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60).
# Usage: scripts/fuzz.sh [SECONDS] [name-filter]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-60}"
"$root/scripts/install-deps.sh" build test tool
dir="$("$root/scripts/build.sh" fuzz | tail -n 1)"
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS="detect_leaks=0"
for exe in $(find "$dir/fuzz" -type f -executable -name 'fuzz_*' | sort); do
  name="$(basename "$exe")"
  [ -n "${2:-}" ] && [[ "$name" != *"$2"* ]] && continue
  seeds="$(find "$root/fuzz" -type d -path "*/${name#fuzz_}/corpus" | head -n 1)"
  work="$root/fuzz/corpus-$name"
  mkdir -p "$work"
  echo "== $name for ${seconds}s (seeds: ${seeds:-none})"
  "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work" ${seeds:+"$seeds"}
done
