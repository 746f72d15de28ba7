#!/bin/sh
# Runs the Linux and the Windows builds of each program on the same inputs
# and fails when their output bytes, files or exit statuses differ.
#   compare_platforms.sh <linux bin folder> <windows bin folder>
set -eu
linux=$(cd "$1" && pwd)
windows=$(cd "$2" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kit-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all

inputs() {
  printf 'c0w.obj main.obj app.res util.obj,app.def\r\napp.exe\r\n' > app.rsp
  printf 'start.obj+\nmain.obj+\r\napp.res\r\napp.exe\r\n\032' > bind.rsp
  printf 'msg db "hi$"\r\n' > msg.inc
  printf 'org 100h\r\n;BEGIN EXPAND INCLUDE\r\ninclude "msg.inc" ; text\r\n;END EXPAND INCLUDE\r\n\tret ; done\r\n\r\n' > prog.asm
  printf '/* a\n   b */ int x;\n\n  \t\n' > prog.c
  printf 'a.obj app.res\r\n' > real.rsp
  ln -s real.rsp link.rsp
}

# Runs one program in folder $1 ("linux" or "windows") and records what it
# printed and its status.
record() {
  side=$1 name=$2
  shift 2
  if [ "$side" = linux ]; then program="$linux/$name"; else program="wine $windows/$name.exe"; fi
  # A linker that is not there: the status and the files are what count.
  set +e
  PATH=/usr/bin:/bin $program "$@" > "out.$name.$#" 2> "err.$name.$#"
  echo "status $?" >> "out.$name.$#"
  set -e
}

for side in linux windows; do
  mkdir "$work/$side"
  cd "$work/$side"
  inputs
  record "$side" tlfix nolinker app.rsp
  record "$side" tlfix
  record "$side" bindrun nolinker wbind app.exe bind.rsp
  record "$side" bindrun
  record "$side" coffdrv
  record "$side" asmtally prog.asm
  record "$side" asmtally prog.c
  record "$side" asmtally missing.asm
  record "$side" srcsplice prog.asm out.asm
  record "$side" srcsplice prog.asm
  # A link keeps pointing at the file it names, which is what is rewritten.
  record "$side" tlfix nolinker link.rsp
  readlink link.rsp > link.target || true
done
cd "$work"
if diff -r linux windows; then
  echo "Linux and Windows builds wrote the same bytes ($(ls linux | wc -l) files compared)"
else
  echo "Linux and Windows builds differ" >&2
  exit 1
fi
