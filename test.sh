#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, checks formatting, builds everything with
# AddressSanitizer and UndefinedBehaviorSanitizer, builds the release that run.sh starts, builds
# the fuzz targets with clang and gives each a short bounded run, then runs every test with CTest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
zb_ensure_packages

jobs=$(nproc)

echo "== formatting"
mapfile -t sources < <(git ls-files '*.h' '*.cpp' 2>/dev/null || find src tests tools plugins bench fuzz -name '*.h' -o -name '*.cpp')
clang-format --dry-run --Werror "${sources[@]}"

echo "== build (ASan + UBSan)"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZB_SANITIZE=ON >/dev/null
ninja -C build-test -j"$jobs"

echo "== release build (what run.sh builds)"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DZB_WITH_TESTS=OFF -DZB_WITH_BENCH=OFF >/dev/null
ninja -C build-release -j"$jobs"
build-release/program/zarnicbox --version

echo "== fuzz (bounded runs)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZB_FUZZ=ON >/dev/null
ninja -C build-fuzz -j"$jobs"
fuzz_seconds=${ZB_FUZZ_SECONDS:-20}
mapfile -t fuzzers < <(find build-fuzz/fuzz -maxdepth 2 -type f -name '*_fuzz' -perm -u+x | sort)
for fuzzer in "${fuzzers[@]}"; do
  corpus="build-fuzz/corpus/$(basename "$fuzzer")"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/$(basename "$fuzzer")"
  [ -d "$seeds" ] || seeds=""
  echo "-- $(basename "$fuzzer") for ${fuzz_seconds}s"
  "$fuzzer" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" $seeds 2>build-fuzz/"$(basename "$fuzzer")".log ||
    { tail -n 60 build-fuzz/"$(basename "$fuzzer")".log; exit 1; }
done
echo "${#fuzzers[@]} fuzz targets ran without a crash"

echo "== tests"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-test --output-on-failure -j"$jobs" --timeout 900
