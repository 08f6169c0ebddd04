#!/usr/bin/env bash
# Builds the Windows programs with mingw-w64 and runs every test of that build
# under Wine: the platform layer, the core's unit tests, the command line with
# a real compile, and the window driven through its messages (on Xvfb).
#
# The build folders can be moved, e.g. for a second working copy:
#   INKBINDER_WINDOWS_BUILD=build/mingw INKBINDER_LINUX_BUILD=build/linux
set -euo pipefail
cd "$(dirname "$0")/.."

windows_build=${INKBINDER_WINDOWS_BUILD:-build/mingw}
linux_build=${INKBINDER_LINUX_BUILD:-build/linux}

bash scripts/setup.sh

# The test hhc.exe compiles by handing the project to the Linux hhc.
if [ ! -f "$linux_build/build.ninja" ]; then
  cmake --preset linux -B "$linux_build" -DINKBINDER_QT=OFF >/dev/null
fi
cmake --build "$linux_build" -j2 --target inkbinder-hhc
export INKBINDER_LINUX_HHC="$PWD/$linux_build/bin/inkbinder-hhc"

cmake --preset mingw -B "$windows_build"
cmake --build "$windows_build" -j2

# Whatever happens from here on, Wine's server and Xvfb go away with us.
trap 'declare -F wine_env_stop >/dev/null && wine_env_stop' EXIT
trap 'exit 130' INT TERM
source scripts/wine-env.sh "$windows_build" --display
ctest --test-dir "$windows_build" --output-on-failure
