#!/usr/bin/env bash
# Builds Quorvin and starts it. Extra arguments go to the application.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" build
dir="$("$root/scripts/build.sh" release --target quorvin | tail -n 1)"
exec "$dir/app/quorvin" "$@"
