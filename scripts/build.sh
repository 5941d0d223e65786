#!/usr/bin/env bash
# Configures and builds one flavour. Usage: build.sh [release|sanitize|coverage|fuzz] [cmake --build args...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
flavour="${1:-release}"; shift || true
case "$flavour" in
  release)  dir="$root/build";          opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir="$root/build-sanitize"; opts=(-DCMAKE_BUILD_TYPE=Debug -DQUORVIN_SANITIZE=ON -DQUORVIN_BUILD_BENCH=OFF) ;;
  coverage) dir="$root/build-coverage"; opts=(-DCMAKE_BUILD_TYPE=Debug -DQUORVIN_COVERAGE=ON -DQUORVIN_BUILD_BENCH=OFF) ;;
  fuzz)     dir="$root/build-fuzz";     opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVIN_FUZZ=ON -DQUORVIN_BUILD_TESTS=OFF
                                              -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
if [ ! -f "$dir/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$dir" -G Ninja "${opts[@]}"
fi
cmake --build "$dir" -j2 "$@"
echo "$dir"
