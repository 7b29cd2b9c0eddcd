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
echo "command line: ok"
