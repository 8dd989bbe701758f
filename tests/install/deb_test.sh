#!/usr/bin/env bash
# Builds the Debian package with CPack into a temporary folder and checks it: every file of the
# install layout, the control fields, and lintian without errors (warnings are printed).
# usage: deb_test.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build="$1" id="$2" version="$3"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$tmp" >/dev/null)
deb="$tmp/vellumgranary_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package: $(ls "$tmp")"

contents="$(dpkg-deb --contents "$deb" | awk '{print $NF}')"
for f in usr/bin/vellumgranary usr/bin/vgcli usr/share/vellumgranary/settings.db \
         "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml" \
         "usr/share/icons/hicolor/scalable/apps/$id.svg" \
         "usr/share/icons/hicolor/48x48/apps/$id.png" "usr/share/icons/hicolor/128x128/apps/$id.png" \
         "usr/share/icons/hicolor/256x256/apps/$id.png" \
         usr/share/man/man1/vellumgranary.1.gz usr/share/man/man1/vgcli.1.gz \
         usr/share/doc/vellumgranary/copyright usr/share/doc/vellumgranary/changelog.gz; do
  printf '%s\n' "$contents" | grep -xF "./$f" >/dev/null || fail "not in the package: $f"
done

printf '%s\n' "$contents" | grep -E '^\./usr/lib/(.*/)?vellumgranary/vggit\.so$' >/dev/null \
  || fail "not in the package: the git module vggit.so"
[ "$(dpkg-deb -f "$deb" Package)" = vellumgranary ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends="$(dpkg-deb -f "$deb" Depends)"
for d in qt6-qpa-plugins libqt6widgets6 libsqlite3-0 libgit2-1.5; do
  printf '%s\n' "$depends" | grep "\b$d\b" >/dev/null || fail "Depends lacks $d: $depends"
done
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
[ -n "$(dpkg-deb -f "$deb" Description)" ] || fail "no description"

echo "size $(stat -c %s "$deb") bytes; Depends: $depends"
# Errors fail the test; warnings and notes are printed for the record.
status=0
report="$(lintian --fail-on error --display-info "$deb" 2>&1)" || status=$?
printf '%s\n' "$report" | grep -v "^running with root privileges" || true
[ "$status" -eq 0 ] || fail "lintian reports errors"
echo "package checks passed"
