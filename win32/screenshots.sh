#!/usr/bin/env bash
# Screenshots of inkbinder.exe after a successful conversion, at 96 and at
# 144 DPI, as PNGs in OUT_DIR. Runs the Windows build under Wine on Xvfb, in
# a Wine virtual desktop so the window gets its title bar.
#
#   win32/screenshots.sh BUILD_DIR OUT_DIR     (from the source root)
set -euo pipefail
build=$(cd "$1" && pwd)
out=$2
mkdir -p "$out"
out=$(cd "$out" && pwd)

# A prefix of its own: the DPI is a prefix-wide setting and the tests' prefix
# must stay at 96.
source scripts/wine-env.sh "$build/screenshots" --display
trap wine_env_stop EXIT

# Wine resolves the message font to WenQuanYi Zen Hei, whose outlines come
# out broken at 12 pixels; its bitmap cut renders Chinese cleanly at that size.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS Shell Dlg' /d 'WenQuanYi Zen Hei Sharp' /f >/dev/null 2>&1

for dpi in 96 144; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
  # New settings reach new programs only after a restart of Wine's server.
  wineserver -k; wineserver -w; wineserver -p; wine wineboot >/dev/null 2>&1

  width=$((640 * dpi / 96)); height=$((600 * dpi / 96))
  ready=$(mktemp -u "$out/.ready.XXXXXX"); done_file=$(mktemp -u "$out/.done.XXXXXX")
  wine explorer "/desktop=inkbinder,${width}x${height}" "$build/bin/window_pose.exe" \
    "$ready" "$done_file" >/dev/null 2>&1 &
  pose=$!
  for _ in $(seq 600); do
    [ -e "$ready" ] && break
    kill -0 "$pose" 2>/dev/null || { echo "screenshots: the window did not get there" >&2; exit 1; }
    sleep 0.2
  done
  [ -e "$ready" ] || { echo "screenshots: timed out" >&2; exit 1; }
  import -window root -crop "${width}x${height}+0+0" +repage "$out/inkbinder-${dpi}dpi.png"
  touch "$done_file"
  wait "$pose" || true
  rm -f "$ready" "$done_file"
  echo "screenshots: $out/inkbinder-${dpi}dpi.png"
done
