#!/usr/bin/env bash
# The windows' longest pause in event handling (not a test: nothing asserts a time).
#
#   bash bench/window_bench.sh [PAGES...]     default: 1000 10000 100000
#   BENCH_ROUNDS (default 5) runs per size and window; BENCH_WINDOWS="qt win32"
#   picks the windows; BENCH_WINE_DESKTOP=no runs Win32 on the bare display.
#
# For each size a folder of generated pages (about 2 KB each) is imported and
# then converted. Qt: the window runs offscreen with /bin/true as its
# compiler, and a timer on its thread ticks every millisecond; the longest
# pause between ticks from the click until the window has settled (the
# finishing after the compiler included) is a run's gap. Win32: the test
# compiler, told to take a second, is the window's hhc.exe; a second program
# under Wine (on Xvfb) sends the window a message every few milliseconds, from
# the picker's OK on and from the convert click to the waiting text; the
# longest wait for an answer is the gap. Each line gives the median and the
# largest gap of the runs.
#
# The Win32 side runs in a Wine desktop window by default. On a bare X display
# (no window manager) Wine's X11 driver waits up to two seconds, whenever a
# top-level window such as the folder picker is hidden, for a window manager
# that never answers: bench/picker_only.cpp shows it with nothing but the
# picker. On a desktop with a window manager, and in a Wine desktop, that
# wait does not happen.
#
# Build folders: INKBINDER_BENCH_BUILD (default build/bench-window, Release
# with Qt) and INKBINDER_WINDOWS_BUILD (default build/mingw).
set -euo pipefail
cd "$(dirname "$0")/.."

sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1000 10000 100000)
rounds=${BENCH_ROUNDS:-5}
windows=${BENCH_WINDOWS:-qt win32}
linux_build=${INKBINDER_BENCH_BUILD:-build/bench-window}
windows_build=${INKBINDER_WINDOWS_BUILD:-build/mingw}

bash scripts/setup.sh >/dev/null
cmake --preset bench -B "$linux_build" -DINKBINDER_QT=ON >/dev/null
cmake --build "$linux_build" -j 2 --target inkbinder-bench inkbinder-qt-window-bench >/dev/null
bin=$PWD/$linux_build/bin
if [[ " $windows " == *" win32 "* ]]; then
  cmake --preset mingw -B "$windows_build" -DINKBINDER_BENCH=ON >/dev/null
  cmake --build "$windows_build" -j 2 \
    --target inkbinder inkbinder-win32-window-bench fake_compiler picker-only >/dev/null
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/inkbinder-window-bench-XXXXXX")
cleanup() {
  declare -F wine_env_stop >/dev/null && wine_env_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
for pages in "${sizes[@]}"; do
  "$bin/inkbinder-bench" make "$work/p$pages" "$pages" >/dev/null
done

if [[ " $windows " == *" qt "* ]]; then
  for pages in "${sizes[@]}"; do
    QT_QPA_PLATFORM=offscreen "$bin/inkbinder-qt-window-bench" "$work/p$pages" "$rounds" | tail -n 1
  done
fi

if [[ " $windows " == *" win32 "* ]]; then
  source scripts/wine-env.sh "$windows_build" --display
  program=$work/program
  mkdir -p "$program"
  cp "$windows_build/bin/inkbinder.exe" "$program/inkbinder.exe"
  cp "$windows_build/bin/fake_compiler.exe" "$program/hhc.exe"
  for pages in "${sizes[@]}"; do
    desktop=(explorer "/desktop=bench$pages,1280x1024")
    [ "${BENCH_WINE_DESKTOP:-yes}" != no ] || desktop=()
    wine "${desktop[@]}" "$windows_build/bin/inkbinder-win32-window-bench.exe" \
      "Z:${program//\//\\}" "Z:${work//\//\\}\\p$pages" "$pages" "$rounds" |
      tr -d '\r' | grep '^win32 '
  done
  # The picker alone, on the bare display: the time from its OK to its return.
  mkdir -p "$work/picked"
  echo "picker alone: $(wine "$windows_build/bin/picker-only.exe" "Z:${work//\//\\}\\picked" | tr -d '\r')"
fi
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
