#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) over the project's own sources. Exits non-zero on findings.
# Usage: scripts/tidy.sh [file...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" build tool
dir="$root/build-tidy"
# A configured tree gives compile_commands.json and the generated moc/ui headers.
[ -f "$dir/CMakeCache.txt" ] || cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVIN_BUILD_BENCH=OFF >/dev/null
cmake --build "$dir" -j2 >/dev/null
cd "$root"
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(git ls-files -- '*.cpp' | grep -E '^(app|model|ingest|views|thumbnails|preview|snippets|about|richtext|platform)/')
fi
out="$(mktemp)"
run-clang-tidy -quiet -p "$dir" -j 2 "${files[@]}" >"$out" 2>/dev/null || true
if grep -E ': (warning|error):' "$out"; then
  echo "clang-tidy: findings above" >&2
  exit 1
fi
echo "clang-tidy: clean (${#files[@]} files)"
