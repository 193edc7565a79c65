#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test:
# the full build, then the plain C++ tests under address+undefined and the
# link tests under the thread sanitizer, then each fuzz harness for 20 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# The Debian package: its contents, and an installed run on the simulated receiver.
if [ "${VARNEX_SKIP_PACKAGE:-0}" != "1" ]; then
  bash scripts/package-test.sh
fi

# One simulated day of polling with faults and an outage, checked at its end.
if [ "${VARNEX_SKIP_SOAK:-0}" != "1" ]; then
  (cd build && ./varnex-soak --days 1)
  # The same day through varnex-logger's own main loop, its files and its reports.
  (cd build && ./varnex-soak --days 1 --logger)
fi

if [ "${VARNEX_SKIP_SANITIZERS:-0}" != "1" ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVARNEX_CORE_ONLY=ON -DVARNEX_BENCH=OFF \
    -DVARNEX_SANITIZE=address,undefined >/dev/null
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DVARNEX_CORE_ONLY=ON -DVARNEX_BENCH=OFF \
    -DVARNEX_SANITIZE=thread >/dev/null
  cmake --build build-tsan -j "$jobs" --target test_link
  TSAN_OPTIONS=halt_on_error=1 build-tsan/test_link
fi

if [ "${VARNEX_SKIP_FUZZ:-0}" != "1" ]; then
  bash scripts/fuzz.sh "${VARNEX_FUZZ_SECONDS:-20}"
fi
