#!/usr/bin/env bash
# Makes both packages and proves them as their users meet them:
#   the Windows zip: its file list, the guide in code page 936 with CR LF, and
#   the guide's Chinese name as 7-Zip, Info-ZIP's unzip and an unpacker that
#   decodes names in code page 936 show it;
#   the Debian package: lintian, the AppStream and menu entry validators, not
#   one error or warning; installed with apt, the manual pages in Chinese and
#   English, the sample converted by an ordinary user with the installed
#   programs, the book read back, the package removed.
# Runs as root (apt, a throw-away user) and leaves the machine as it found it:
# the package, the user and the work folder go again, whatever happens.
#
# The build folders can be moved, as for scripts/test-windows.sh:
#   INKBINDER_WINDOWS_BUILD=build/mingw INKBINDER_LINUX_BUILD=build/linux
set -euo pipefail
cd "$(dirname "$0")/.."

windows_build=${INKBINDER_WINDOWS_BUILD:-build/mingw}
linux_build=${INKBINDER_LINUX_BUILD:-build/linux}
user=inkbinder-pkgtest
title=示例手册

say() { echo "test-packages: $*"; }
fail() {
  echo "test-packages: FAILED: $*" >&2
  exit 1
}

# Runs a command quietly; shows the end of its output when it fails.
quietly() {
  local log
  log=$(mktemp)
  if ! "$@" >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    rm -f "$log"
    fail "$*"
  fi
  rm -f "$log"
}

[ "$(id -u)" -eq 0 ] || fail "run as root: it installs a package and adds a user"

bash scripts/setup.sh

# --- The Windows zip --------------------------------------------------------
[ -f "$windows_build/build.ninja" ] || quietly cmake --preset mingw -B "$windows_build"
quietly cmake --build "$windows_build" -j2 --target package
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$windows_build/CMakeCache.txt")
zip=$windows_build/Inkbinder-$version-win64.zip
[ -f "$zip" ] || fail "no $zip"
/usr/bin/python3 scripts/check_packages.py zip "$zip" docs/使用说明.md LICENSE || fail "$zip"
# The guide's name as each kind of unpacker lists it.
unpackers=(
  "7zz l"                                                   # 7-Zip
  "unzip -l"                                                # Info-ZIP
  "/usr/bin/python3 -m zipfile --metadata-encoding cp936 -l"  # names in code page 936 only
)
# Info-ZIP's unzip as some distributions patch it, told the archive's code page.
if unzip -h 2>&1 | grep -q -- '-O CHARSET'; then unpackers+=("unzip -O CP936 -l"); fi
for unpacker in "${unpackers[@]}"; do
  listing=$(LC_ALL=C.UTF-8 $unpacker "$zip") || fail "$unpacker $zip"
  grep -qE '(^|[[:space:]])使用说明\.txt([[:space:]]|$)' <<<"$listing" || fail "$unpacker shows no 使用说明.txt: $listing"
done
say "$zip: the two programs, 使用说明.txt and LICENSE.txt; ${#unpackers[@]} unpackers read the Chinese name"

# --- The Debian package -----------------------------------------------------
quietly cmake --preset linux -B "$linux_build" -DINKBINDER_QT=ON
quietly cmake --build "$linux_build" -j2 --target package
deb=$PWD/$linux_build/inkbinder_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
metainfo=/usr/share/metainfo/org.inkbinder.inkbinder.metainfo.xml
expected=(./usr/share/applications/inkbinder.desktop ."$metainfo"
  ./usr/share/icons/hicolor/scalable/apps/inkbinder.svg
  ./usr/share/doc/inkbinder/copyright ./usr/share/doc/inkbinder/changelog.gz)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x$size/apps/inkbinder.png")
done
for program in inkbinder inkbinder-cli inkbinder-hhc; do
  expected+=("./usr/bin/$program" "./usr/share/man/man1/$program.1.gz" "./usr/share/man/zh_CN/man1/$program.1.gz")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$contents" || fail "$deb lacks $path"
done
# Every program has its manual pages.
for program in $(grep '^\./usr/bin/.' <<<"$contents"); do
  grep -qxF "./usr/share/man/zh_CN/man1/${program##*/}.1.gz" <<<"$contents" || fail "$program has no manual page"
done
depends=$(dpkg-deb -f "$deb" Depends)
# The programs' libraries, found by dpkg-shlibdeps, and what the package rules list besides.
listed=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_DEPENDS "\(.*\)")$/\1/p' "$linux_build/CPackConfig.cmake" | tr ',' '\n' | awk '{print $1}')
for dep in libc6 libqt6widgets6 $listed; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "$deb does not depend on $dep: $depends"
done
say "$deb: depends on $depends"

# Debian's own check. Informational tags are shown, not failed on.
lintian_said=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || fail "lintian: $lintian_said"
lintian_said=$(grep -v '^running with root privileges' <<<"$lintian_said" || true)
say "lintian: no error, no warning${lintian_said:+; }$(grep -c '^I: ' <<<"$lintian_said" || true) informational tags"
[ -z "$lintian_said" ] || echo "$lintian_said"

if dpkg-query -W -f='${Status}' inkbinder 2>/dev/null | grep -q 'install ok installed'; then
  fail "the inkbinder package is installed already: remove it first"
fi
packages_before=$(dpkg-query -W -f='${Package} ${Version}\n' | sort)
work=
clean_up() {
  if dpkg-query -W -f='${Status}' inkbinder 2>/dev/null | grep -q 'install ok installed'; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq inkbinder >/dev/null
  fi
  if id "$user" >/dev/null 2>&1; then userdel -r "$user" 2>/dev/null || true; fi
  if [ -n "$work" ]; then rm -rf "$work"; fi
}
trap clean_up EXIT
trap 'exit 130' INT TERM
clean_up  # a user left over from an interrupted run

quietly env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$deb"
for program in inkbinder inkbinder-cli inkbinder-hhc; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not installed in /usr/bin"
done
desktop_exec=$(sed -n 's/^Exec=//p' /usr/share/applications/inkbinder.desktop)
[ "$desktop_exec" = /usr/bin/inkbinder ] || fail "the menu entry starts '$desktop_exec'"
# The validators fail on errors only; a warning fails here too.
validated=$(desktop-file-validate /usr/share/applications/inkbinder.desktop 2>&1) &&
  ! grep -qE '(error|warning):' <<<"$validated" || fail "desktop-file-validate: $validated"
validated=$(appstreamcli validate --no-net "$metainfo" 2>&1) &&
  ! grep -qE '^(E|W):' <<<"$validated" || fail "appstreamcli validate: $validated"
say "the menu entry and the AppStream description validate"

# An ordinary user with a fresh home and a login's bare environment.
useradd -m -s /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

[ "$(as_user inkbinder-cli --version)" = "inkbinder-cli $version" ] || fail "inkbinder-cli --version"

work=$(mktemp -d)
chmod 755 "$work"
# The manual pages as the user reads them: Chinese in a Chinese locale (the
# set-up's, copied where the user can read it), English otherwise; groff has
# nothing to complain about in either.
locdir=${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/inkbinder/locale
cp -r "$locdir" "$work/locale"
chmod -R a+rX "$work/locale"
for case in "zh_CN.UTF-8|/usr/share/man/zh_CN/man1|把一个文件夹里的 .txt 页面生成为 CHM 帮助书" \
  "C|/usr/share/man/man1|turn a folder of .txt pages into a compiled help book" \
  "C.UTF-8|/usr/share/man/man1|turn a folder of .txt pages into a compiled help book"; do
  IFS='|' read -r locale folder words <<<"$case"
  in_locale() { as_user LOCPATH="$work/locale" LANG="$locale" MANWIDTH=80 "$@"; }
  found=$(in_locale man -w inkbinder-cli) || fail "man -w inkbinder-cli in $locale"
  [ "$found" = "$folder/inkbinder-cli.1.gz" ] || fail "man inkbinder-cli in $locale finds $found"
  page=$(in_locale man --warnings -P cat inkbinder-cli 2>"$work/stderr") || fail "man inkbinder-cli in $locale"
  grep -qF "inkbinder-cli - $words" <<<"$page" || fail "man inkbinder-cli in $locale shows: $page"
  [ ! -s "$work/stderr" ] || fail "man inkbinder-cli in $locale: $(cat "$work/stderr")"
done
say "man inkbinder-cli shows the Chinese page in zh_CN.UTF-8 and the English one in C"

# The window starts from the installed files (Qt, its plugins, the icon) and stays up.
status=0
as_user QT_QPA_PLATFORM=offscreen timeout 3 inkbinder >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the installed window ended at once (status $status)"

cp -r examples/sample "$work/sample"
chown -R "$user:" "$work/sample"
output=$(as_user inkbinder-cli --title "$title" "$work/sample" 2>"$work/stderr") ||
  fail "the installed inkbinder-cli failed: $output $(cat "$work/stderr")"
book=$work/sample/$title.chm
[ "$output" = "生成成功"$'\n'"$book" ] || fail "inkbinder-cli said: $output"
[ "$(stat -c %U "$book")" = "$user" ] || fail "$book does not belong to $user"
python3 scripts/check_packages.py book "$book" "$title" || fail "the book made by the installed package"
say "the installed inkbinder-cli made $title.chm as $user; every page opens"

clean_up
trap - EXIT
packages_after=$(dpkg-query -W -f='${Package} ${Version}\n' | sort)
if [ "$packages_before" != "$packages_after" ]; then
  diff <(echo "$packages_before") <(echo "$packages_after") >&2 || true
  fail "installing and removing the package changed the installed packages"
fi
! id "$user" >/dev/null 2>&1 || fail "the user $user is still there"
say "removed again; the installed packages are as before"
