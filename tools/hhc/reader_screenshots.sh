#!/usr/bin/env bash
# Pictures of a book made from examples/sample in two readers nobody here
# wrote, for a person to look at: kchmviewer and xchm under Xvfb, the contents
# tree expanded and a page with a Chinese name chosen.
#   tools/hhc/reader_screenshots.sh BUILD_DIR OUT_DIR
# Needs Xvfb, ImageMagick's import, xdotool, kchmviewer and xchm (Debian
# packages xvfb imagemagick xdotool kchmviewer xchm); not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "$1")
out=$(realpath -m "$2")

missing=()
for program in Xvfb import xdotool kchmviewer xchm; do
  command -v "$program" >/dev/null || missing+=("$program")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "reader-screenshots: missing ${missing[*]} (apt-get install xvfb imagemagick xdotool kchmviewer xchm)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/reader-shots-XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

cp -r examples/sample "$work/示例"
"$build/bin/inkbinder-cli" --title 示例手册 "$work/示例" >/dev/null
book="$work/示例/示例手册.chm"
mkdir -p "$out" "$work/home"

exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
read -r -t 10 display <&"$display_fd" || { echo "reader-screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display" HOME="$work/home" LC_ALL=C.UTF-8

window_of() {  # window_of NAME: waits for the reader's window, prints its id
  xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}

# kchmviewer opens the page it is given and expands the tree down to it.
kchmviewer -showPage /第1章.txt "$book" >"$work/kchmviewer.log" 2>&1 &
pids+=($!)
window_of kchmviewer >/dev/null
sleep 4  # the tree and the page fill in after the window shows
import -window root "$out/kchmviewer.png"
kill "${pids[-1]}"

# xchm starts with the tree folded and no page: unfold "目录", choose pages.
xchm "$book" >"$work/xchm.log" 2>&1 &
pids+=($!)
w=$(window_of xCHM)
xdotool windowmove "$w" 0 0 windowsize "$w" 1000 680
sleep 2
xdotool mousemove 53 139 click --repeat 2 --delay 80 1  # 目录
sleep 1
xdotool mousemove 85 208 click 1  # 第一章 起步 (第1章.txt)
sleep 2
import -window root "$out/xchm.png"
xdotool mousemove 80 185 click 1  # notes.txt
sleep 2
import -window root "$out/xchm-ascii-name.png"
kill "${pids[-1]}"

echo "reader-screenshots: wrote $out/kchmviewer.png, $out/xchm.png and $out/xchm-ascii-name.png"
