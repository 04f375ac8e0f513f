#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
source tools/packages.sh
install_packages
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja
cmake --build "$build" --parallel 2
ctest --test-dir "$build" --parallel 2 --output-on-failure --timeout 600
