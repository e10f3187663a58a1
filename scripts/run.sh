#!/usr/bin/env bash
# Installs what the build needs, builds Airloom and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel --target airloom
exec ./build/airloom "$@"
