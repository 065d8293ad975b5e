#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing ZarnicBox need, when missing.
# Sourced by run.sh and test.sh; uses sudo when not run as root.
set -euo pipefail

ZB_PACKAGES=(
  build-essential cmake ninja-build g++ pkg-config
  libsqlite3-dev sqlite3
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  fonts-dejavu-core fonts-liberation
)

zb_missing_packages() {
  local missing=()
  for pkg in "${ZB_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  echo "${missing[@]:-}"
}

zb_ensure_packages() {
  local missing
  missing=$(zb_missing_packages)
  if [ -z "$missing" ]; then
    return 0
  fi
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  echo "Installing missing packages: $missing"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}
