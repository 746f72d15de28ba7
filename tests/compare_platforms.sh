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

# A flush that fails is injected with strace, which wine's FlushFileBuffers
# reaches as fsync.
if strace -f -o /dev/null true 2>/dev/null; then
  failing_flush="strace -f -qq -o /dev/null -e trace=fsync -e inject=fsync:error=EIO"
else
  failing_flush=""
  echo "note: strace is missing or cannot trace here: a failing flush is not compared" >&2
fi

inputs() {
  printf 'c0w.obj main.obj app.res util.obj,app.def\r\napp.exe\r\n' > app.rsp
  printf 'start.obj+\nmain.obj+\r\napp.res\r\napp.exe\r\n\032' > bind.rsp
  printf 'msg db "hi$"\r\n' > msg.inc
  printf 'org 100h\r\n;BEGIN EXPAND INCLUDE\r\ninclude "msg.inc" ; text\r\n;END EXPAND INCLUDE\r\n\tret ; done\r\n\r\n' > prog.asm
  printf '/* a\n   b */ int x;\n\n  \t\n' > prog.c
  printf 'a.obj app.res\r\n' > real.rsp
  ln -s real.rsp link.rsp
  cp real.rsp flush.rsp
}

# The command that runs program $2 of the build $1 ("linux" or "windows").
program() {
  if [ "$1" = linux ]; then echo "$linux/$2"; else echo "wine $windows/$2.exe"; fi
}

# Runs one program of the build $1 and records what it printed and its
# status; $wrapper, when set, runs it.
record() {
  side=$1 name=$2
  shift 2
  runs=$((runs + 1))
  # A linker that is not there: the status and the files are what count.
  set +e
  PATH=/usr/bin:/bin ${wrapper:-} $(program "$side" "$name") "$@" > "out.$runs.$name" 2> "err.$runs.$name"
  echo "status $?" >> "out.$runs.$name"
  set -e
}

for side in linux windows; do
  mkdir "$work/$side"
  cd "$work/$side"
  inputs
  runs=0
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
  # A rewrite that cannot be flushed to disk is no rewrite.  The wine
  # server runs already (it outlives the last program by seconds), so that
  # strace follows the program alone.
  if [ -n "$failing_flush" ]; then
    wrapper="timeout 120 $failing_flush"
    record "$side" tlfix nolinker flush.rsp
    wrapper=""
  fi
  # A link to a target whose path is longer than the 260 characters of
  # Windows stays a link, whether its target can be rewritten or not
  # (under wine it cannot: what the link names cannot be told).
  long=$work/long-$side
  mkdir "$long"
  long=$long/$(printf "%0$((274 - ${#long} - 10))d" 0)
  mkdir "$long"
  printf 'a.obj app.res\r\n' > "$long/real.rsp"
  ln -s "$long/real.rsp" long.rsp
  PATH=/usr/bin:/bin $(program "$side" tlfix) nolinker long.rsp > /dev/null 2>&1 || true
  if [ -L long.rsp ]; then echo link; else echo "no link"; fi > long.kind
  rm long.rsp
done
cd "$work"
if diff -r linux windows; then
  echo "Linux and Windows builds wrote the same bytes ($(ls linux | wc -l) files compared)"
else
  echo "Linux and Windows builds differ" >&2
  exit 1
fi
