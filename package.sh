#!/usr/bin/env bash
# Builds the Debian package zarnicbox_<version>_<arch>.deb into this directory, from the release
# build that run.sh uses (build-release/), with CPack. Arguments go to cpack.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
zb_ensure_packages

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZB_WITH_TESTS=OFF -DZB_WITH_BENCH=OFF >/dev/null
ninja -C build-release
rm -rf build-release/package
cpack --config build-release/CPackConfig.cmake -B "$PWD/build-release/package" "$@"
for deb in build-release/package/*.deb; do
  cp "$deb" .
  echo "built $(basename "$deb")"
done
