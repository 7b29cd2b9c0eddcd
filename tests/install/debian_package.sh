#!/usr/bin/env bash
# The .deb that scripts/package builds: its files and its control fields.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/vazudovu_*.deb)
[ -f "${debs[0]}" ] || fail "no vazudovu_*.deb"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort >"$work/files"
cat >"$work/expected" <<LIST
./usr/bin/qsreg
./usr/bin/vazudovu
./usr/lib/vazudovu/libvazudovu-sound.so
./usr/share/applications/vazudovu.desktop
./usr/share/doc/vazudovu/README.md
./usr/share/doc/vazudovu/docs/main-window.png
./usr/share/doc/vazudovu/docs/repeat-dialog.png
./usr/share/icons/hicolor/128x128/apps/vazudovu.png
./usr/share/icons/hicolor/16x16/apps/vazudovu.png
./usr/share/icons/hicolor/22x22/apps/vazudovu.png
./usr/share/icons/hicolor/24x24/apps/vazudovu.png
./usr/share/icons/hicolor/256x256/apps/vazudovu.png
./usr/share/icons/hicolor/32x32/apps/vazudovu.png
./usr/share/icons/hicolor/48x48/apps/vazudovu.png
./usr/share/icons/hicolor/64x64/apps/vazudovu.png
./usr/share/icons/hicolor/scalable/apps/vazudovu.svg
./usr/share/metainfo/example.quorvane.Vazudovu.metainfo.xml
LIST
diff -u "$work/expected" "$work/files" || fail "the package's files differ"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vazudovu ] || fail "Package is $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no Maintainer or Description"
for lib in libqt6widgets6 libqt6multimedia6 libsqlite3-0 libcurl4 libssl3 libc6; do
  field Depends | grep -q "\b$lib\b" || fail "Depends lacks $lib: $(field Depends)"
done
echo "debian package: ok"
