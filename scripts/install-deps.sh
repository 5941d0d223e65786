#!/usr/bin/env bash
# Installs the Debian packages Quorvin needs that are missing. Usage: install-deps.sh [build|test|tool]...
# With no argument: build and test packages.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build test)

wanted=()
while read -r group pkg; do
  case "$group" in ''|'#'*) continue ;; esac
  for g in "${groups[@]}"; do
    [ "$g" = "$group" ] && wanted+=("$pkg")
  done
done < "$here/deps.txt"

missing=()
for pkg in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
