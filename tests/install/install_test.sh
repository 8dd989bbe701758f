#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it there as a user would: the files of
# the layout, the desktop entry and metainfo validated, the manual pages against --help, and
# the installed programs creating databases from the installed settings.db, with the window
# program's folder not writable (as /usr/bin is), so its settings go to the per-user store.
# usage: install_test.sh BUILD_DIR APP_ID VERSION
set -euo pipefail
build="$1" id="$2" version="$3"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/vellumgranary bin/vgcli share/vellumgranary/settings.db \
         "share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml" \
         "share/icons/hicolor/scalable/apps/$id.svg" \
         "share/icons/hicolor/48x48/apps/$id.png" "share/icons/hicolor/128x128/apps/$id.png" \
         "share/icons/hicolor/256x256/apps/$id.png" \
         share/man/man1/vellumgranary.1.gz share/man/man1/vgcli.1.gz \
         share/doc/vellumgranary/copyright share/doc/vellumgranary/changelog.gz; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
# settings.db belongs to the data folder, not beside the programs.
[ ! -e "$prefix/bin/settings.db" ] || fail "settings.db installed into bin/"
for size in 48 128 256; do
  file "$prefix/share/icons/hicolor/${size}x${size}/apps/$id.png" | grep "$size x $size" >/dev/null \
    || fail "the ${size} pixel icon has another size"
done

desktop="$prefix/share/applications/$id.desktop"
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
for line in "Exec=vellumgranary %f" "TryExec=vellumgranary" "Icon=$id" "Terminal=false" \
            "StartupWMClass=vellumgranary" "Categories=Development;Utility;Qt;"; do
  grep -qxF "$line" "$desktop" || fail "desktop entry lacks $line"
done
grep -qF "<id>$id</id>" "$prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo id"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" \
  "$prefix/share/metainfo/$id.metainfo.xml" || fail "metainfo launchable"
# The running window names the same desktop entry (Wayland app id).
strings -e l "$prefix/bin/vellumgranary" | grep -xF "$id" >/dev/null || fail "the program does not carry the app id"

# The manual pages render cleanly and name every command and option vgcli --help lists.
for page in vellumgranary vgcli; do
  warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man $page: $warnings"
done
for page in vellumgranary vgcli; do
  zcat "$prefix/share/man/man1/$page.1.gz" | grep "^\.TH .* \"VellumGranary $version\"" >/dev/null \
    || fail "man $page does not name version $version"
done
vgman="$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/vgcli.1.gz" 2>/dev/null)"
help="$("$prefix/bin/vgcli" --help)"
commands="$(printf '%s\n' "$help" | sed -n 's/^  \([a-z-]*\) .*/\1/p')"
[ "$(printf '%s\n' "$commands" | wc -l)" -ge 20 ] || fail "vgcli --help lists too few commands"
for c in $commands; do
  usage="$(printf '%s\n' "$help" | grep -m1 "^  $c ")"
  printf '%s\n' "$vgman" | grep -F -- "${usage#  }" >/dev/null || fail "vgcli.1 lacks the usage: ${usage#  }"
done
for page_help in "$("$prefix/bin/vellumgranary" --help)"; do
  printf '%s\n' "$page_help" | grep "^usage: vellumgranary \[DATABASE\]" >/dev/null || fail "vellumgranary --help"
done
[ "$("$prefix/bin/vellumgranary" --version)" = "$("$prefix/bin/vgcli" --version | sed 's/vgcli/vellumgranary/')" ] \
  || fail "the two programs report different versions"

# vgcli from the prefix: new databases get the schema from share/vellumgranary/settings.db.
work="$tmp/work"
mkdir -p "$work/home"
"$prefix/bin/vgcli" new "$work/cli.db"
"$prefix/bin/vgcli" info "$work/cli.db" | grep -x $'schema\t2' >/dev/null || fail "vgcli new: no schema"
# Sync loads its git module from the installed library folder, relative to the program.
[ -n "$(find "$prefix" -path '*/vellumgranary/vggit.so')" ] || fail "not installed: the git module vggit.so"
HOME="$work/home" "$prefix/bin/vgcli" sync "$work/cli.db" "$work/cli-sync" >/dev/null \
  || fail "vgcli sync from the prefix failed"
[ -d "$work/cli-sync/.git" ] || fail "vgcli sync from the prefix made no repository"

# The window program from the prefix, with a database file on its command line, run by a user
# who cannot write the program's folder.
chmod 755 "$tmp"
chmod 777 "$work" "$work/home"
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  chmod a-w "$prefix/bin"
fi
conf="$work/home/config/VellumGranary/VellumGranary.conf"
env -i PATH="$PATH" HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" \
    XDG_RUNTIME_DIR="$work/home" QT_QPA_PLATFORM=offscreen TZ=America/New_York LANG=C.UTF-8 \
    "${run_as[@]}" "$prefix/bin/vellumgranary" "$work/window.db" >"$work/window.log" 2>&1 &
pid=$!
for _ in $(seq 1 100); do
  grep -qs "^LastDatabase=" "$conf" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
kill "$pid" 2>/dev/null || fail "the window program ended by itself: $(cat "$work/window.log")"
wait "$pid" 2>/dev/null || true
[ -f "$conf" ] || fail "no per-user settings written: $(cat "$work/window.log")"
grep -qx "SaveToINI=0" "$conf" || fail "the settings did not fall back to the per-user store"
grep -qx "LastDatabase=$work/window.db" "$conf" || fail "the file given did not become the remembered one"
[ ! -e "$prefix/bin/Settings.ini" ] || fail "Settings.ini written into the program folder"
"$prefix/bin/vgcli" info "$work/window.db" | grep -x $'schema\t2' >/dev/null || fail "window: no schema"
chmod -R u+w "$prefix"
echo "installed layout works"
