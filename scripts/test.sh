#!/usr/bin/env bash
# Installs what the build needs, builds Airloom with warnings as errors and runs the whole
# test suite (headless tests, then the drag-and-drop tests under Xvfb).
#   --sanitize   the same with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
#   --tsan       the media and deck engine tests only, with ThreadSanitizer, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

dir=build
config=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  config=(-DCMAKE_BUILD_TYPE=Debug -DAIRLOOM_SANITIZE=ON)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
  export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
if [ "${1:-}" = "--tsan" ]; then
  # Qt, PortAudio and ALSA are not instrumented: tests/tsan.supp names what is suppressed.
  # The test fixtures start encoders with posix_spawn, never a fork of the test process: after
  # a fork the sanitizer misses the locks of threads started later and reports false races.
  export TSAN_OPTIONS="suppressions=$PWD/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1"
  cmake -S . -B build-tsan -G Ninja -DAIRLOOM_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DAIRLOOM_TSAN=ON
  cmake --build build-tsan --parallel --target airloom-engine-tests
  QT_QPA_PLATFORM=offscreen build-tsan/tests/airloom-engine-tests
  exit
fi

cmake -S . -B "$dir" -G Ninja -DAIRLOOM_WERROR=ON "${config[@]}"
cmake --build "$dir" --parallel
ctest --test-dir "$dir" --output-on-failure
