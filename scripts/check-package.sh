#!/usr/bin/env bash
# CI: builds the Debian package (scripts/package.sh) and checks it: its files, its control
# fields, the desktop and catalogue entries, lintian, the maintainer scripts in a scratch
# root, and --version, --help and a bad option of the program installed with DESTDIR.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/package.sh

debs=(build-package/airloom_*.deb)
[ ${#debs[@]} -eq 1 ] || { echo "check-package: expected one package: ${debs[*]}" >&2; exit 1; }
deb=${debs[0]}
version=$(sed -n 's/^project(Airloom VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "check-package: $*" >&2
  failures=$((failures + 1))
}

echo "== contents"
dpkg-deb --contents "$deb" | tee "$work/listing"
awk '{print $6}' "$work/listing" >"$work/paths"
expected=(
  ./usr/bin/airloom
  ./usr/share/applications/airloom.desktop
  ./usr/share/metainfo/org.airloom.Airloom.metainfo.xml
  ./usr/share/icons/hicolor/scalable/apps/airloom.svg
  ./usr/share/man/man1/airloom.1.gz
  ./usr/share/doc/airloom/README.md
  ./usr/share/doc/airloom/LICENSE
  ./usr/share/doc/airloom/copyright
  ./usr/share/doc/airloom/changelog.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/airloom.png")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/paths" || fail "missing: $path"
done
# Everything under /usr and owned by root: the settings folder is the maintainer
# script's, so that removing the package never takes it.
grep -v -e '^\./usr/' -e '^\./$' "$work/paths" && fail "files outside /usr"
awk '$2 != "root/root"' "$work/listing" | grep . && fail "files not owned by root"

echo "== control"
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = airloom ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Description | head -1)" = "broadcast cart machine for radio studios" ] ||
  fail "Description: $(field Description | head -1)"
depends=$(field Depends)
echo "Depends: $depends"
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libportaudio2 \
  libavformat59 libavcodec59 libavutil57 libswresample4; do
  [[ ", $depends," == *", $library "* ]] || fail "Depends lacks $library"
done
dpkg-deb --control "$deb" "$work/control"
for script in postinst postrm; do
  [ "$(stat -c %a "$work/control/$script")" = 755 ] || fail "$script is not mode 755"
done

echo "== desktop entry, catalogue entry, lintian"
dpkg-deb --extract "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/airloom.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.airloom.Airloom.metainfo.xml" ||
  fail "appstreamcli validate"
lintian --fail-on error,warning --info "$deb" || fail "lintian"

echo "== the program installed with DESTDIR, without a display"
DESTDIR="$work/destdir" cmake --install build-package >/dev/null
airloom=$work/destdir/usr/bin/airloom
run() { env -u DISPLAY -u WAYLAND_DISPLAY "$airloom" "$@"; }
run --version >"$work/out" || fail "--version exits with $?"
[ "$(head -1 "$work/out")" = "airloom $version" ] || fail "--version prints: $(head -1 "$work/out")"
run --help >"$work/out" || fail "--help exits with $?"
grep -q '^Usage: airloom \[options\]$' "$work/out" || fail "--help prints no usage"
grep -q -- '--settings <FILE>' "$work/out" || fail "--help lacks --settings"
status=0
run --no-such-option >"$work/out" 2>"$work/err" || status=$?
[ "$status" = 2 ] || fail "an unknown option exits with $status, not 2"
grep -q '^Usage: airloom' "$work/err" || fail "an unknown option prints no usage"

echo "== maintainer scripts in a scratch root"
# dpkg hands DPKG_ROOT to maintainer scripts; fakeroot lets them give the folder to root.
DPKG_ROOT=$work/target fakeroot bash -euo pipefail -c '
  fail() { echo "check-package: $*" >&2; exit 1; }
  settings=$DPKG_ROOT/var/lib/airloom
  describe() { (cd "$settings" && find . -printf "%p %u:%g %m %s\n" | sort); }
  mkdir -p "$DPKG_ROOT/var/lib"
  "$1/postinst" configure
  [ "$(stat -c "%U:%G %a" "$settings")" = "root:audio 2775" ] ||
    fail "new settings folder: $(stat -c "%U:%G %a" "$settings")"

  # A station that has run for a while: its files stay as they are through an upgrade,
  # a removal and a purge.
  mkdir "$settings/dtb" "$settings/log"
  echo "[global]" >"$settings/Vidav.ini"
  echo "Jingles" >"$settings/dtb/cats.db"
  echo "on air" >"$settings/log/2026-12-06.csv"
  chmod 640 "$settings/Vidav.ini"
  chmod 750 "$settings"
  before=$(describe)
  "$1/postinst" configure 2.6.6
  "$1/postrm" remove
  "$1/postrm" purge
  [ "$(describe)" = "$before" ] || fail "the station'"'"'s files changed: $(describe)"

  rm -r "$settings"/*
  "$1/postrm" purge
  [ ! -e "$settings" ] || fail "purge leaves an empty settings folder"
' check "$work/control" || fail "maintainer scripts"

if [ "$failures" -gt 0 ]; then
  echo "check-package: $failures failures" >&2
  exit 1
fi
echo "check-package: $deb is good"
