#!/usr/bin/env bash
# --help and --version answer without a display; a mistake prints the usage and ends
# with 2; none of them opens a window (a window would wait here until the time-out).
set -euo pipefail
exe=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 20 "$exe" "$@" >"$out/stdout" 2>"$out/stderr"; }
fail() { echo "FAIL: $*"; echo "--- stdout"; cat "$out/stdout"; echo "--- stderr"; cat "$out/stderr"; exit 1; }

run --help || fail "--help ended with $?"
grep -q '^Usage: vazudovu \[options\]' "$out/stdout" || fail "--help shows no usage"
grep -q -- '--events-file <FILE>' "$out/stdout" || fail "--help lacks --events-file"

run --version || fail "--version ended with $?"
grep -qx 'vazudovu [0-9.]*' "$out/stdout" || fail "--version printed something else"

for wrong in --bogus "--events-file" "-x"; do
  rc=0
  run $wrong || rc=$?
  [ "$rc" -eq 2 ] || fail "$wrong ended with $rc, not 2"
  [ ! -s "$out/stdout" ] || fail "$wrong wrote to standard output"
  grep -q '^Usage: vazudovu' "$out/stderr" || fail "$wrong shows no usage"
done
# A start as on a first run (no zone offsets kept yet): the toolkit must take the main
# thread for its own, not a thread that reads ahead, or the window's event filter never
# runs. The lock file beside the events file is made once the application object exists.
for i in 1 2 3 4 5 6; do
  home=$out/home$i
  mkdir -p -m 700 "$home"
  printf '1|0|First|0|2030-01-01 12:00:00|0|Etc/UTC|0|10|0|N|0|N|0|N|0|N|0|\r\n' >"$home/QSEvents.C-D"
  env -u DISPLAY -u WAYLAND_DISPLAY HOME="$home" XDG_CONFIG_HOME="$home/config" \
    XDG_CACHE_HOME="$home/cache" XDG_STATE_HOME="$home/state" XDG_DATA_HOME="$home/data" \
    XDG_RUNTIME_DIR="$home" QS_REGISTRY_DIR="$home/registry" QS_EVENTS_FILE="$home/QSEvents.C-D" \
    QT_QPA_PLATFORM=offscreen timeout 30 "$exe" >"$out/stdout" 2>"$out/stderr" &
  pid=$!
  for _ in $(seq 100); do
    [ -e "$home/QSEvents.C-D.lock" ] && break
    sleep 0.1
  done
  [ -e "$home/QSEvents.C-D.lock" ] || fail "start $i made no lock file"
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" || true
  if grep -q 'was not created in the main() thread' "$out/stderr"; then
    fail "start $i: the application object was not on the main thread"
  fi
done
echo "command line: ok"
