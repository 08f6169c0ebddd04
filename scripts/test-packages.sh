#!/usr/bin/env bash
# Makes both packages and proves them as their users meet them:
#   the Windows zip: its file list, and the guide in code page 936 with CR LF;
#   the Debian package: installed with apt, the sample converted by an ordinary
#   user with the installed programs, the book read back, the package removed.
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
python3 scripts/check_packages.py zip "$zip" docs/使用说明.md LICENSE || fail "$zip"
say "$zip: the two programs, 使用说明.txt and LICENSE.txt"

# --- The Debian package -----------------------------------------------------
quietly cmake --preset linux -B "$linux_build" -DINKBINDER_QT=ON
quietly cmake --build "$linux_build" -j2 --target package
deb=$PWD/$linux_build/inkbinder_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"
contents=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for path in ./usr/bin/inkbinder ./usr/bin/inkbinder-cli ./usr/bin/hhc \
  ./usr/share/applications/inkbinder.desktop ./usr/share/icons/hicolor/32x32/apps/inkbinder.png \
  ./usr/share/doc/inkbinder/copyright; do
  grep -qxF "$path" <<<"$contents" || fail "$deb lacks $path"
done
depends=$(dpkg-deb -f "$deb" Depends)
# The programs' libraries, found by dpkg-shlibdeps, and what the package rules list besides.
listed=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_DEPENDS "\(.*\)")$/\1/p' "$linux_build/CPackConfig.cmake" | tr ',' '\n' | awk '{print $1}')
for dep in libc6 libqt6widgets6 $listed; do
  grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "$deb does not depend on $dep: $depends"
done
say "$deb: depends on $depends"

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
for program in inkbinder inkbinder-cli hhc; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not installed in /usr/bin"
done
desktop_exec=$(sed -n 's/^Exec=//p' /usr/share/applications/inkbinder.desktop)
[ "$desktop_exec" = /usr/bin/inkbinder ] || fail "the menu entry starts '$desktop_exec'"

# An ordinary user with a fresh home and a login's bare environment.
useradd -m -s /bin/sh "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

[ "$(as_user inkbinder-cli --version)" = "inkbinder-cli $version" ] || fail "inkbinder-cli --version"

# The window starts from the installed files (Qt, its plugins, the icon) and stays up.
status=0
as_user QT_QPA_PLATFORM=offscreen timeout 3 inkbinder >/dev/null 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "the installed window ended at once (status $status)"

work=$(mktemp -d)
chmod 755 "$work"
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
