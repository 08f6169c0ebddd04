#!/usr/bin/env bash
# Installs what Inkbinder needs on Debian 12 and generates the private locales
# the tests and the benchmark run under (the programs themselves need none).
# Safe to run again: it skips what is already there.
#
#   bash scripts/setup.sh convert   only what converting on Linux needs: a C++
#                                   compiler, CMake and Ninja to build
#                                   inkbinder-cli and inkbinder-hhc, chmlib for its reader check
#   bash scripts/setup.sh           everything the tests need besides: GoogleTest,
#                                   the readers (chmlib, libmspack, 7-Zip), the other
#                                   help compilers, Qt, mingw-w64, Wine, Xvfb
set -euo pipefail

what=${1:-all}
case "$what" in
  convert | all) ;;
  *)
    echo "usage: setup.sh [convert|all]" >&2
    exit 2
    ;;
esac

convert_packages=(
  g++ cmake ninja-build
  libchm-dev    # every built-in compile reads its book back through chmlib before it reports success
  unicode-data  # the lower-case table is generated from UnicodeData.txt at build time
)
test_packages=(
  build-essential file pkg-config  # dpkg-shlibdeps (build-essential) and file: the Debian package
  libgtest-dev  # with its sources, which the Windows cross build compiles
  fp-utils python3-chm libchm-bin libmspack-dev  # fp-utils: chmcmd, for the benchmark, the structure test and the book check's tests
  p7zip-full halibut  # 7z reads every test book; halibut and chmcmd make the structure test's peers
  locales time
  qt6-base-dev libgl-dev
  g++-mingw-w64-x86-64-posix wine64 wine fonts-wine
  xvfb xauth x11-utils fonts-wqy-zenhei imagemagick
  librsvg2-bin  # rsvg-convert: the icon's PNGs and the Windows icon, from its SVG
  python3       # the Windows icon and the zip's names; the manual pages
  # The packages' checks: Debian's, the menu entry's and AppStream's
  # validators, the manual pages, the zip as 7-Zip and Info-ZIP list it.
  lintian desktop-file-utils appstream man-db 7zip unzip
)
packages=("${convert_packages[@]}")
[ "$what" = convert ] || packages+=("${test_packages[@]}")

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
locales=()
[ "$what" = convert ] || locales+=("zh_CN GBK zh_CN.GBK" "zh_CN UTF-8 zh_CN.UTF-8")
locdir="${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/inkbinder/locale"
mkdir -p "$locdir"
for locale_def in "${locales[@]}"; do
  set -- $locale_def
  [ -e "$locdir/$3/LC_CTYPE" ] || localedef -i "$1" -f "$2" "$locdir/$3" >/dev/null 2>&1 || {
    # localedef warns about some GBK mappings yet still writes the locale.
    [ -e "$locdir/$3/LC_CTYPE" ] || { echo "setup: could not make locale $3" >&2; exit 1; }
  }
done
echo "setup: ready ($what)"
