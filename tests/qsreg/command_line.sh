#!/usr/bin/env bash
# qsreg from outside: an import reads only a regular file within its bound, refuses a
# key too deep or a name holding a NUL byte with a non-zero exit, and writes nothing of
# a file when either hive fails.
set -euo pipefail
qsreg=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QS_REGISTRY_DIR=$work/hives
mkdir "$QS_REGISTRY_DIR"
out=$work/out
# Usage: expect STATUS TEXT ARGUMENTS...: qsreg ends with STATUS and says TEXT on stderr.
expect() {
  local want=$1 says=$2 rc=0
  shift 2
  timeout 20 "$qsreg" "$@" >"$out.stdout" 2>"$out.stderr" || rc=$?
  if [ "$rc" -ne "$want" ] || ! grep -qF -- "$says" "$out.stderr"; then
    echo "FAIL: qsreg $* ended with $rc (wanted $want) saying:"
    cat "$out.stderr"
    exit 1
  fi
}

"$qsreg" set 'Software\QSoft' Host --string keep

mkfifo "$work/fifo"
expect 4 "$work/fifo is not a regular file" import "$work/fifo"
ln -s /dev/zero "$work/zero.reg"
expect 4 "$work/zero.reg is not a regular file" import "$work/zero.reg"
truncate -s 9M "$work/large.reg"
expect 4 "$work/large.reg is larger than 8 MiB" import "$work/large.reg"

printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Software\\QSoft]\n"New"="1"\n"Host\0x"="lost"\n' \
  >"$work/nul.reg"
expect 3 "holds a NUL byte; names may not hold one; nothing was imported" import "$work/nul.reg"

deep='k'
for _ in $(seq 512); do deep="$deep\\k"; done
printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Software\\QSoft]\n"New"="1"\n[HKEY_CURRENT_USER\\%s]\n' \
  "$deep" >"$work/deep.reg"
expect 3 "Cannot create a key 513 levels deep: keys may be at most 512 levels deep" \
  import "$work/deep.reg"
expect 3 "keys may be at most 512 levels deep" set "$deep" a --string b

# The machine hive cannot be written: the user's part of the file is not written either.
mkdir "$QS_REGISTRY_DIR/machine.db"
printf 'REGEDIT4\n[HKEY_CURRENT_USER\\Software\\QSoft]\n"New"="1"\n[HKEY_LOCAL_MACHINE\\Software\\QSoft]\n"M"="1"\n' \
  >"$work/both.reg"
expect 3 "cannot write to $QS_REGISTRY_DIR/machine.db; nothing was imported" import "$work/both.reg"

expect 1 "no value 'New'" get 'Software\QSoft' New
[ "$("$qsreg" get 'Software\QSoft' Host)" = keep ] || { echo "FAIL: Host changed"; exit 1; }
echo "qsreg command line: ok"
