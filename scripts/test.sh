#!/usr/bin/env bash
# Installs what the build needs, builds Airloom with warnings as errors and runs the whole
# test suite (headless tests, then the drag-and-drop tests under Xvfb).
#   --sanitize   the same with AddressSanitizer and UndefinedBehaviorSanitizer, in build-asan/
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

cmake -S . -B "$dir" -G Ninja -DAIRLOOM_WERROR=ON "${config[@]}"
cmake --build "$dir" --parallel
ctest --test-dir "$dir" --output-on-failure
