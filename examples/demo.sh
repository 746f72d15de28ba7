#!/bin/sh
# Shows the kit at work on a scratch folder.  $1 is the folder that holds the
# built programs and the fake tool that stands in for a linker.
set -eu
bin=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kit-demo-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir tools
ln -s "$bin/fake_tool" tools/tlink
export PATH="$work/tools:$PATH" FAKE_TOOL_LOG="$work/tools.log"

show() { printf '%s\n' "--- $1"; tr -d '\r' < "$2"; printf '\n'; }
# The command lines the fake tools recorded, one run a line.
started() {
  echo "--- the tools were started as:"
  awk '/^run/{if(line)print line; line="   "} /^arg /{line=line" "substr($0,5)} END{print line}' tools.log
}

echo "== tlfix: move the resource name to the end and supply a default .def"
printf 'c0w.obj main.obj app.res util.obj,app.def\r\napp.exe\r\n' > app.rsp
show "app.rsp before" app.rsp
"$bin/tlfix" tlink app.rsp
show "app.rsp after" app.rsp
started
if [ -e app.def ]; then echo "app.def is still there (unexpected)"; else echo "app.def was made for the link and removed after it"; fi

echo
echo "== bindrun: take the resource out, link with ilink, bind with wbind"
ln -s "$bin/fake_tool" tools/ilink
ln -s "$bin/fake_tool" tools/wbind
: > tools.log
printf 'c0w32.obj main.obj+\r\napp.res\r\napp.exe\r\n' > app.rsp
show "app.rsp before" app.rsp
"$bin/bindrun" ilink wbind app.exe app.rsp
show "app.rsp after" app.rsp
started

echo
echo "== coffdrv: collect a link into a response file for gcc, then the post-link tools"
for tool in gcc strip coff2exe rm; do ln -s "$bin/fake_tool" "tools/$tool"; done
mkdir lib
: > lib/libm.a
: > tools.log
printf 'main.o util.o libm.a\n' > objs.rsp
LIB="$work/lib" "$bin/coffdrv" -O2 prog.exe start.o @objs.rsp -lpc
echo "--- the tools were started as (the response file gcc read after the arrow):"
awk '/^run/{if(line)print line; line="   "} /^arg /{line=line" "substr($0,5)} /^file /{sub(/^file [^ ]* /,""); gsub(/\\x20/," "); gsub(/\\x0d\\x0a/,""); line=line"  -> "$0} END{print line}' tools.log | sed "s|$work/||g"

echo
echo "== srcsplice: expand the include lines of a marked region"
printf 'hello db "hi", 0\r\n' > data.inc
printf 'org 100h\r\n;BEGIN EXPAND INCLUDE\r\ninclude "data.inc" ; the message\r\n;END EXPAND INCLUDE\r\nret\r\n' > prog.asm
"$bin/srcsplice" prog.asm expanded.asm
show "expanded.asm" expanded.asm

echo "== asmtally: count the lines of the result"
"$bin/asmtally" expanded.asm | tr -d '\r'
