#!/usr/bin/env bash
# The main job: builds Inkbinder and turns the bundled sample folder into a book.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh convert

cmake --preset linux -DINKBINDER_QT=OFF >/dev/null
cmake --build --preset linux -j "$(nproc)" --target inkbinder-cli inkbinder-hhc

build/linux/bin/inkbinder-cli --title "${1:-示例手册}" examples/sample
