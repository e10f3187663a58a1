#!/usr/bin/env bash
# Installs what the build needs and builds the Debian package build-package/airloom_*.deb
# (Debian's hardening flags, installed under /usr). Install it with:
#   sudo apt install ./build-package/airloom_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

dir=build-package
# Debian's compiler and linker flags with every hardening feature (the preprocessor's go
# with the compiler's), given on each run so that a stale build folder takes them too.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DAIRLOOM_BUILD_TESTS=OFF \
  -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)"
cmake --build "$dir"
(cd "$dir" && rm -f airloom_*.deb && cpack -G DEB)
ls "$dir"/airloom_*.deb
