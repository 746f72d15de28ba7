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

echo "== tlfix: move the resource name to the end and supply a default .def"
printf 'c0w.obj main.obj app.res util.obj,app.def\r\napp.exe\r\n' > app.rsp
show "app.rsp before" app.rsp
"$bin/tlfix" tlink app.rsp
show "app.rsp after" app.rsp
echo "--- the linker was started as:"
grep '^arg ' tools.log | sed 's/^arg /    /'
if [ -e app.def ]; then echo "app.def is still there (unexpected)"; else echo "app.def was made for the link and removed after it"; fi
