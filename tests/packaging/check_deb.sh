#!/usr/bin/env bash
# Usage: check_deb.sh BUILD_DIR WORK_DIR VERSION
# Builds quorvin_VERSION_amd64.deb with CPack and checks it as a clean machine would see it.
set -euo pipefail
# Under pipefail, `echo … | grep -q` fails when grep exits before echo has written every line
# (SIGPIPE): text is handed to grep as a here-string instead.
build="$1" work="$2" version="$3"
app_id=io.github.quorvin.Quorvin
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; exit 1; }
deb="$work/quorvin_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work"; echo "FAIL: $deb not built"; exit 1; }

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvin ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" == *"<"*"@"*">" ]] || fail "Maintainer is '$(field Maintainer)'"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "Description has no long text"
depends="$(field Depends)"
echo "Depends: $depends"
# Package names in Depends (alternatives and version constraints dropped).
dep_names="$(echo "$depends" | tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/:any//' -e 's/ //g' | sort -u)"

# Content: every installed file at its place, nothing else but folders.
expected="./usr/bin/quorvin
./usr/share/applications/$app_id.desktop
./usr/share/metainfo/$app_id.metainfo.xml
./usr/share/icons/hicolor/scalable/apps/$app_id.svg"
for size in 16 32 48 64 128 256; do
  expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
actual="$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)"
[ "$actual" = "$(echo "$expected" | sort)" ] || fail "content differs:"$'\n'"$(diff <(echo "$expected" | sort) <(echo "$actual"))"

root="$work/root"
dpkg-deb -x "$deb" "$root"
[ -x "$root/usr/bin/quorvin" ] || fail "binary not executable"
grep -qx "Exec=quorvin" "$root/usr/share/applications/$app_id.desktop" || fail "desktop entry does not start quorvin"
grep -qx "Icon=$app_id" "$root/usr/share/applications/$app_id.desktop" || fail "desktop entry names another icon"
grep -q ">$version<\|version=\"$version\"" "$root/usr/share/metainfo/$app_id.metainfo.xml" \
  || fail "metainfo names no release $version"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop entry invalid"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --explain "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "metainfo invalid"
fi

# Every library the binary links directly must come from a package in Depends; the libraries
# those pull in are their packages' business.
whats=() paths=()
ldd_out="$(ldd "$root/usr/bin/quorvin")"
if grep -q "not found" <<<"$ldd_out"; then fail "unresolved libraries:"$'\n'"$ldd_out"; fi
for soname in $(readelf -d "$root/usr/bin/quorvin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  # "soname => path (address)", except the dynamic loader, which ldd lists by its path alone.
  path="$(echo "$ldd_out" | awk -v s="$soname" '$1 == s {print $3} $1 ~ "/" s "$" {print $1}')"
  [ -n "$path" ] || { fail "$soname not resolved"; continue; }
  whats+=("$soname") paths+=("$path")
done

plugins="$(qtpaths6 --plugin-dir 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)"
for plugin in $(sed -e 's/#.*//' "$(dirname "$0")/runtime_plugins.txt"); do
  [ -f "$plugins/$plugin" ] || { fail "plugin $plugin not installed on this machine"; continue; }
  whats+=("plugin $plugin") paths+=("$plugins/$plugin")
done

# shellcheck source=debian_packages.sh
. "$(dirname "$0")/debian_packages.sh"
i=0
while IFS=$'\t' read -r path pkg; do
  pkg="${pkg%% *}"
  if [ -z "$pkg" ]; then fail "${whats[$i]}: $path belongs to no package"
  elif ! grep -qx "$pkg" <<<"$dep_names"; then fail "${whats[$i]}: $path is in $pkg, which Depends does not name"; fi
  i=$((i + 1))
done < <(printf '%s\n' "${paths[@]}" | owners_of)

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "OK: $(basename "$deb"), $(stat -c %s "$deb") bytes"
