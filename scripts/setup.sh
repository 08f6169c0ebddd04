#!/usr/bin/env bash
# Installs what building, testing and running Inkbinder needs on Debian 12, and
# generates the private locales Wine and the benchmark rely on.
# Safe to run again: it skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  googletest libbenchmark-dev
  fp-utils python3-chm libchm-bin libchm-dev libmspack-dev
  locales time
  qt6-base-dev libgl-dev
  g++-mingw-w64-x86-64-posix wine64 wine fonts-wine
  xvfb xauth x11-utils fonts-wqy-zenhei imagemagick
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Private locales, so nothing under /etc changes:
#   zh_CN.GBK   - the benchmark's bare chmcmd decodes index keywords through it
#   zh_CN.UTF-8 - Wine takes its ANSI code page (936) from it
locdir="${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/inkbinder/locale"
mkdir -p "$locdir"
for locale_def in "zh_CN GBK zh_CN.GBK" "zh_CN UTF-8 zh_CN.UTF-8"; do
  set -- $locale_def
  [ -e "$locdir/$3/LC_CTYPE" ] || localedef -i "$1" -f "$2" "$locdir/$3" >/dev/null 2>&1 || {
    # localedef warns about some GBK mappings yet still writes the locale.
    [ -e "$locdir/$3/LC_CTYPE" ] || { echo "setup: could not make locale $3" >&2; exit 1; }
  }
done
echo "setup: ready"
