# Sourced, not run: prepares Wine for running the Windows build's programs.
#
#   source scripts/wine-env.sh [BUILD_DIR] [--display]
#   ...wine programs...
#   wine_env_stop                            # always, e.g. from a trap
#
# BUILD_DIR defaults to build/mingw. --display starts Xvfb on a free display
# first, for programs that open windows: Wine's desktop process picks its
# graphics driver when the server starts, so the display must exist by then.
#
# The prefix lives in BUILD_DIR/wineprefix. Wine takes the ANSI code page from
# the Unix locale, so LC_ALL names a zh_CN.UTF-8 locale (code page 936) that
# scripts/setup.sh generates into a private folder. A persistent wineserver
# plus one warm-up wineboot saves about a second per program and keeps Wine's
# services from holding the first caller's pipes open.

wine_env_build_dir=build/mingw
wine_env_display=no
wine_env_xvfb_pid=
for wine_env_arg in "$@"; do
  case "$wine_env_arg" in
    --display) wine_env_display=yes ;;
    *) wine_env_build_dir=$wine_env_arg ;;
  esac
done
unset wine_env_arg

wine_env_fail() {
  echo "wine-env: $*" >&2
  return 1
}

wine_env_start() {
  local locdir="${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/inkbinder/locale"
  [ -e "$locdir/zh_CN.UTF-8/LC_CTYPE" ] ||
    { wine_env_fail "no zh_CN.UTF-8 locale in $locdir: run scripts/setup.sh"; return 1; }
  command -v wine >/dev/null || { wine_env_fail "wine is not installed: run scripts/setup.sh"; return 1; }

  mkdir -p "$wine_env_build_dir" || return 1
  export LOCPATH="$locdir"
  export LC_ALL=zh_CN.UTF-8 2>/dev/null  # bash itself cannot load it: it reads LOCPATH at start
  unset LANGUAGE
  WINEPREFIX="$(cd "$wine_env_build_dir" && pwd)/wineprefix"
  export WINEPREFIX
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="

  if [ ! -e "$WINEPREFIX/system.reg" ]; then
    echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
    wine wineboot -i >/dev/null 2>&1 || { wine_env_fail "wineboot -i failed"; return 1; }
    wineserver -w
  fi
  # Fails when a server for this prefix already runs; that one serves as well.
  wineserver -p 2>/dev/null || true
  wine wineboot >/dev/null 2>&1 || { wine_env_fail "wineboot failed"; return 1; }
}

# Starts Xvfb on the first free display from :90 on and exports DISPLAY. A
# display whose lock files are absent can still be taken (another Xvfb starting
# at the same moment, or one in another root holding the abstract socket), so
# when Xvfb ends at once the next display is tried.
wine_env_start_display() {
  [ -z "$wine_env_xvfb_pid" ] || return 0
  local n=90 tries
  while :; do
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
      n=$((n + 1))
    done
    [ "$n" -lt 200 ] || { wine_env_fail "Xvfb did not start on any display from :90 to :199"; return 1; }
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    wine_env_xvfb_pid=$!
    tries=0
    until [ -e "/tmp/.X11-unix/X$n" ]; do
      if ! kill -0 "$wine_env_xvfb_pid" 2>/dev/null || [ "$tries" -ge 100 ]; then
        break
      fi
      sleep 0.1
      tries=$((tries + 1))
    done
    if [ -e "/tmp/.X11-unix/X$n" ] && kill -0 "$wine_env_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      return 0
    fi
    kill "$wine_env_xvfb_pid" 2>/dev/null || true
    wait "$wine_env_xvfb_pid" 2>/dev/null || true
    wine_env_xvfb_pid=
    n=$((n + 1))
  done
}

# Stops the wineserver first (its programs may hold the display), then Xvfb.
wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  fi
  if [ -n "$wine_env_xvfb_pid" ]; then
    kill "$wine_env_xvfb_pid" 2>/dev/null || true
    wait "$wine_env_xvfb_pid" 2>/dev/null || true
    wine_env_xvfb_pid=
    unset DISPLAY
  fi
}

if [ "$wine_env_display" = yes ]; then
  wine_env_start_display && wine_env_start
else
  wine_env_start
fi
