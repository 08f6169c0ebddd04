#!/usr/bin/env bash
# Runs every test: set-up, the Linux build with sanitizers and its tests (core,
# hhc, command line, Qt window), then the Windows build under Wine,
# then the packages.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc)
cmake --preset linux-test
cmake --build --preset linux-test -j "$jobs"
ctest --test-dir build/linux-test --output-on-failure -j "$jobs"

bash scripts/test-windows.sh

# The packages: the Windows zip and the Debian package, installed and used as an ordinary user.
bash scripts/test-packages.sh
