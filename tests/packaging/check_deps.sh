#!/usr/bin/env bash
# Proves scripts/deps.txt complete: every file the build read and every library the app maps must
# belong to a package of the named groups, or to a package those depend on.
# Usage: check_deps.sh build    SOURCE_DIR BUILD_DIR DEPS_FILE
#        check_deps.sh runtime  SOURCE_DIR BUILD_DIR DEPS_FILE   (needs DISPLAY)
#        check_deps.sh selftest SOURCE_DIR BUILD_DIR DEPS_FILE PACKAGE
#          (the build check must fail, naming PACKAGE, once PACKAGE is taken out of the list)
set -euo pipefail
mode="$1" src="$2" build="$3" deps="$4"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=debian_packages.sh
. "$here/debian_packages.sh"

# Absolute paths outside the tree that exist: files, and folders such as include paths (an empty
# folder provides nothing, so it needs no package).
outside() {
  grep -E '^/' | grep -v -e "^$src/" -e "^$build/" | sort -u | while IFS= read -r p; do
    if [ -f "$p" ] || { [ -d "$p" ] && [ -n "$(ls -A "$p")" ]; }; then echo "$p"; fi
  done
}

build_inputs() {
  # Headers of every compiled file, as the compiler reported them.
  ninja -C "$build" -t deps | sed -n 's/^    //p'
  # Tools, include folders and libraries on the command and link lines: a folder CMake names
  # must exist even when no header in it is read, or configuring fails.
  grep -oE "(^|[ =\"';]|-I)/(usr|lib|bin|opt|etc)/[^ \"';:]+" "$build/build.ninja" | sed -E "s/^([ =\"';]|-I)//"
  local lib
  for lib in $(grep -oE '(^| )-l[A-Za-z0-9_+.-]+' "$build/build.ninja" | sed 's/^ *-l//' | sort -u); do
    gcc -print-file-name="lib$lib.so"
  done
  # Package configuration files find_package loaded.
  sed -n -E 's/^[A-Za-z0-9_]+_DIR:PATH=(\/.*)$/\1/p' "$build/CMakeCache.txt" | while IFS= read -r dir; do
    find "$dir" -maxdepth 1 -name '*.cmake' 2>/dev/null
  done
  # moc, uic and rcc as AUTOMOC ran them.
  find "$build" -name AutogenInfo.json -exec grep -ohE '"/(usr|lib|opt)/[^"]+"' {} + | tr -d '"'
}

runtime_inputs() {
  local home pid maps=""
  home="$(mktemp -d)"
  mkdir -m 700 "$home/runtime"
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=xcb "$build/app/quorvin" >"$home/log" 2>&1 &
  pid=$!
  # Once the window is up, the platform, its GL integration, image and icon plugins are mapped.
  for _ in $(seq 100); do
    sleep 0.2
    kill -0 "$pid" 2>/dev/null || break
    maps="$(awk '$6 ~ /^\// {print $6}' "/proc/$pid/maps" 2>/dev/null | sort -u)"
    if grep -q libqxcb <<<"$maps" && grep -qi quorvin <<<"$(xwininfo -root -tree 2>/dev/null)"; then sleep 1; break; fi
  done
  maps="$(awk '$6 ~ /^\// {print $6}' "/proc/$pid/maps" 2>/dev/null | sort -u || true)"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if ! grep -q libqxcb <<<"$maps"; then
    echo "FAIL: the app did not come up on $DISPLAY:" >&2
    cat "$home/log" >&2
    rm -rf "$home"
    return 1
  fi
  rm -rf "$home"
  # Caches built on the machine by package triggers (fontconfig, icon themes, MIME) belong to no
  # package.
  echo "$maps" | grep -E '^/(usr|lib|lib64|etc|opt)/' | grep -v -e '(deleted)' -e '\.cache$'
  # Plugins that load only when a picture or a download needs them.
  local plugins
  plugins="$(qtpaths6 --plugin-dir 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)"
  sed -e 's/#.*//' -e '/^$/d' "$here/runtime_plugins.txt" | sed "s|^|$plugins/|"
}

check() {
  local what="$1"; shift
  local inputs failures=0 total=0 path pkgs pkg covered
  local -A allowed=()
  # Essential packages are on every Debian system.
  for pkg in $(closure $(group_packages "$deps" "$@") $(dpkg-query -W -f='${Essential} ${Package}\n' | awk '$1 == "yes" {print $2}')); do
    allowed[$pkg]=1
  done
  case "$what" in
    build) inputs="$(build_inputs | outside)" ;;
    runtime) inputs="$(runtime_inputs | outside)" ;;
  esac
  [ -n "$inputs" ] || { echo "FAIL: no $what inputs found in $build"; return 1; }
  while IFS=$'\t' read -r path pkgs; do
    total=$((total + 1))
    covered=""
    for pkg in $pkgs; do [ -n "${allowed[$pkg]:-}" ] && covered=1; done
    if [ -z "$pkgs" ]; then
      echo "FAIL: $path (used by the $what) belongs to no Debian package"
      failures=$((failures + 1))
    elif [ -z "$covered" ]; then
      echo "FAIL: $path (used by the $what) is in package ${pkgs// / or }, which no package of the '$*' group(s) of $deps brings in"
      failures=$((failures + 1))
    fi
  done < <(owners_of <<<"$inputs")
  if [ "$failures" -gt 0 ]; then
    echo "$failures of $total files are not covered; add their packages to $deps"
    return 1
  fi
  echo "OK: $total files the $what used, all from the '$*' group(s) of $deps and their dependencies"
}

case "$mode" in
  build) check build build ;;
  runtime) check runtime build test ;;
  selftest)
    pkg="$5" trimmed="$(mktemp)"
    trap 'rm -f "$trimmed"' EXIT
    grep -vE "^[a-z]+ $pkg\$" "$deps" >"$trimmed"
    if out="$(bash "$0" build "$src" "$build" "$trimmed" 2>&1)"; then
      echo "FAIL: the check passed with $pkg taken out of the list"; exit 1
    fi
    named="$(grep -E "^FAIL: /.* is in package $pkg," <<<"$out" || true)"
    [ -n "$named" ] || { echo "FAIL: no message names $pkg:"; echo "$out" | head; exit 1; }
    head -n 3 <<<"$named"
    echo "OK: without $pkg the check fails and names it"
    ;;
  *) echo "unknown mode: $mode" >&2; exit 2 ;;
esac
