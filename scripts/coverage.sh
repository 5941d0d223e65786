#!/usr/bin/env bash
# Builds with gcov instrumentation, runs the tests and reports line and branch coverage of the
# core library (richtext, model, ingest, thumbnails, platform core). HTML report: build-coverage/coverage/index.html
# With --update-readme, rewrites the coverage line in README.md from the measured figures.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh" build test tool
dir="$("$root/scripts/build.sh" coverage | tail -n 1)"
find "$dir" -name '*.gcda' -delete
# Tests that kill children mid-write leave torn counter files, and the package test covers no code.
(cd "$dir" && QT_QPA_PLATFORM=offscreen ctest -j2 --output-on-failure -LE xvfb -E 'kill|soak|packaging|format' >/dev/null) || true
mkdir -p "$dir/coverage"
core='(richtext|model|ingest|thumbnails)/|platform/(AppPaths|DataFolderLock|DesktopSession|DurableFile|SaveStatus|Settings|SettingsFile)\.'
cd "$dir/coverage" # gcovr leaves its .gcov files in the working folder when it fails
gcovr -r "$root" "$dir" --gcov-ignore-parse-errors --filter "$root/($core)" --exclude-unreachable-branches --exclude-throw-branches \
  --html-details "$dir/coverage/index.html" --txt "$dir/coverage/summary.txt" --json-summary "$dir/coverage/summary.json" >/dev/null
tail -n 5 "$dir/coverage/summary.txt"
read -r lines branches < <(python3 -c 'import json, sys
d = json.load(open(sys.argv[1]))
print("%.1f %.1f" % (d["line_percent"], d["branch_percent"]))' "$dir/coverage/summary.json")
echo "core library: lines ${lines}%, branches ${branches}%"
if [ "${1:-}" = "--update-readme" ]; then
  grep -q "^Core library coverage: " "$root/README.md" || { echo "README.md has no coverage line" >&2; exit 1; }
  sed -i -E "s/^Core library coverage: .*/Core library coverage: lines ${lines}%, branches ${branches}% (measured by scripts\/coverage.sh)./" "$root/README.md"
fi
