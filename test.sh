#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test:
# a normal build with warnings as errors, then the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, then each fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/setup.sh
suite_install_packages

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-20}

echo "== normal build"
suite_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSUITE_WERROR=ON
# Two PostgreSQL servers for the real-server database tests (both builds); without them those tests skip.
. scripts/pg-tier.sh
trap pg_tier_stop EXIT
pg_tier_start || echo "== the real-server database tests will skip"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== sanitizer build"
suite_build build/asan -DCMAKE_BUILD_TYPE=Debug -DSUITE_WERROR=ON -DSUITE_SANITIZE=ON
ctest --test-dir build/asan --output-on-failure -j "$jobs"

if command -v clang++ >/dev/null; then
  echo "== fuzz targets (${fuzz_seconds}s each)"
  cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSUITE_FUZZ=ON >/dev/null
  cmake --build build/fuzz --target all_fuzzers --parallel "$jobs"
  for f in build/fuzz/fuzz/*; do
    [ -x "$f" ] || continue
    corpus="build/fuzz/corpus/$(basename "$f")"
    mkdir -p "$corpus"
    seeds="tools/fuzz-seeds/$(basename "$f")"
    [ -d "$seeds" ] || seeds=""
    echo "-- $(basename "$f")"
    "$f" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" $seeds 2>&1 | tail -n 3
  done
fi
echo "== all tests passed"
