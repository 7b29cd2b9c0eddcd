#!/usr/bin/env bash
# `cmake --install` into a temporary prefix: the files the desktop needs are there and
# validate, and the installed program, started afresh, keeps its items in the data folder.
set -euo pipefail
build=$1
work=$(mktemp -d)
pid=
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$work/usr" >/dev/null
cd "$work/usr"
for f in bin/vazudovu bin/qsreg lib/vazudovu/libvazudovu-sound.so \
         share/applications/vazudovu.desktop share/metainfo/example.quorvane.Vazudovu.metainfo.xml \
         share/icons/hicolor/scalable/apps/vazudovu.svg; do
  [ -f "$f" ] || fail "$f is not installed"
done
for size in 16 22 24 32 48 64 128 256; do
  png=share/icons/hicolor/${size}x${size}/apps/vazudovu.png
  [ -f "$png" ] || fail "$png is not installed"
  # The PNG's header holds its width and height as big-endian words at bytes 16 and 20.
  dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "$png is $dims"
done
# The user guide the tray menu's Help opens, with the picture it shows.
for f in share/doc/vazudovu/README.md share/doc/vazudovu/docs/main-window.png \
  share/doc/vazudovu/docs/repeat-dialog.png; do
  [ -f "$f" ] || fail "$f is not installed"
done
[ "$(find . -type f | wc -l)" -eq 17 ] || { find . -type f; fail "unexpected files installed"; }

# What serves only a channel in use is opened when first needed, not loaded at every start.
needed=$(objdump -p bin/vazudovu | awk '$1 == "NEEDED" {print $2}')
for lib in libssl libcrypto libcurl libQt6Multimedia libQt6Network; do
  ! grep -q "^$lib" <<<"$needed" || fail "bin/vazudovu links $lib at start"
done

desktop-file-validate share/applications/vazudovu.desktop
appstreamcli validate --no-net --pedantic share/metainfo/example.quorvane.Vazudovu.metainfo.xml >"$work/as.log" ||
  { cat "$work/as.log"; fail "the metainfo does not validate"; }
grep -q '^Icon=vazudovu$' share/applications/vazudovu.desktop || fail "the entry names another icon"

# A first start: no events file anywhere, so it is made in the user's data folder.
mkdir -p "$work/home" "$work/registry"
HOME=$work/home XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config QS_REGISTRY_DIR=$work/registry \
  QT_QPA_PLATFORM=offscreen QS_EVENTS_FILE= bin/vazudovu &
pid=$!
for _ in $(seq 100); do
  [ -f "$work/data/QSoft/QSEvents.C-D" ] && break
  sleep 0.1
done
[ -f "$work/data/QSoft/QSEvents.C-D" ] || fail "no events file in the data folder"
# Its orderly end on SIGTERM is checked elsewhere; here it may still be starting.
kill -TERM "$pid"
wait "$pid" || true
pid=
echo "install tree: ok"
