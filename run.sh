#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, builds a release and starts ZarnicBox.
# Arguments are passed to the program, e.g. ./run.sh --headless --port 1234
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
zb_ensure_packages

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZB_WITH_TESTS=OFF -DZB_WITH_BENCH=OFF >/dev/null
ninja -C build-release
exec build-release/program/zarnicbox "$@"
