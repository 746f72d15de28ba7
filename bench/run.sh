#!/usr/bin/env bash
# Benchmarks of the kit against the tools people would use instead, from a
# clean checkout: builds the release kit and the input generator, writes the
# inputs into a scratch folder, and prints a table of medians measured side
# by side with hyperfine.
#
#   bench/run.sh                 # 256 MiB sources, as in the README
#   BENCH_MIB=16 bench/run.sh    # a quick run on smaller sources
#
# BENCH_RUNS sets the runs of each fast command (default 10), BENCH_DIR
# keeps the inputs in a folder of your choice instead of a temporary one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mib=${BENCH_MIB:-256}
runs=${BENCH_RUNS:-10}

packages=(cmake ninja-build g++ hyperfine cloc time)
missing=()
for package in "${packages[@]}"; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

echo "== building the release kit and the input generator" >&2
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
cmake -S bench -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench >/dev/null
bin=$root/build/release/bin

if [ -n "${BENCH_DIR:-}" ]; then
  scratch=$BENCH_DIR
  mkdir -p "$scratch"
else
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
fi
echo "== writing the inputs (${mib} MiB sources) into $scratch" >&2
build/bench/make_inputs "$scratch/in" "$mib"
in=$scratch/in
csv=$scratch/csv
mkdir -p "$csv"

# Tools that do nothing, found along PATH under the names the programs start.
tools=$scratch/tools
mkdir -p "$tools"
true_path=$(type -P true)
for tool in tlink link rc gcc strip coff2exe rm; do
  ln -sf "$true_path" "$tools/$tool"
done

# median FILE NAME: the median of command NAME in hyperfine's CSV, in seconds.
median() {
  awk -F, -v name="$2" 'NR > 1 && $1 == name { print $4 }' "$1"
}

# ms SECONDS: milliseconds with two decimals.
ms() {
  awk -v s="$1" 'BEGIN { printf "%.2f", s * 1000 }'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

row() {
  printf '| %s | %s | %s | %s |\n' "$1" "$2" "$3" "$4"
}

# compare ID RUNS WARMUP -- hyperfine arguments: runs hyperfine on the
# commands (each named with -n, names without commas), the first one the
# reference, and prints a row for each with its median and its ratio to the
# reference.
compare() {
  local id=$1 count=$2 warmup=$3
  shift 4
  echo "== $id" >&2
  hyperfine --style basic --warmup "$warmup" --runs "$count" --export-csv "$csv/$id.csv" "$@" >&2
  local reference="" name value
  while IFS= read -r name; do
    value=$(median "$csv/$id.csv" "$name")
    reference=${reference:-$value}
    row "$name" "$(ms "$value")" "$(ratio "$value" "$reference")" ""
  done < <(awk -F, 'NR > 1 { print $1 }' "$csv/$id.csv")
}

# peak NAME COMMAND...: peak resident memory of one run, in KiB.
peak() {
  local name=$1
  shift
  /usr/bin/time -f %M -o "$csv/peak" "$@" >/dev/null
  row "$name" "" "" "$(cat "$csv/peak") KiB"
}

echo
echo "| Command | Median (ms) | Ratio to the first of its group | Peak memory |"
echo "|---|---|---|---|"

cd "$in"
for source in big.asm big.c; do
  compare "asmtally-wc-$source" "$runs" 1 -- -N \
    -n "wc -l $source" "wc -l $source" \
    -n "asmtally $source" "$bin/asmtally $source"
  compare "asmtally-cloc-$source" 3 0 -- -N \
    -n "asmtally $source" "$bin/asmtally $source" \
    -n "cloc $source" "cloc --quiet --max-file-size=100000 $source"
done

compare srcsplice-cat "$runs" 1 -- \
  -n "cat big.asm > copy" "cat big.asm > $scratch/copy" \
  -n "srcsplice big.asm copy" "$bin/srcsplice big.asm $scratch/expanded"
cmp -s big.asm "$scratch/expanded" || echo "warning: srcsplice changed a source without markers" >&2

cd "$in/tree"
compare srcsplice-tree "$runs" 1 -- \
  -n "cat of the 10000 files of the include tree" \
  "cat main.asm inc/*.inc inc/*/*.inc inc/*/*/*.inc > $scratch/copy" \
  -n "srcsplice: include tree of 10000 files" "$bin/srcsplice main.asm $scratch/expanded"

# Each program's whole run on a tiny input: the cost a build pays per call.
# tlfix and bindrun rewrite their response file, so each run gets a fresh
# one; hyperfine wants a preparation for every command or for none.
cd "$in/link"
(
  export PATH="$tools:$PATH"
  LIB=$(printf 'lib/%02d;' $(seq 0 19))
  export LIB
  compare tiny 100 20 -- -N \
    -n "true" --prepare "$true_path" "$true_path" \
    -n "asmtally: 5 lines" --prepare "$true_path" "$bin/asmtally ../tiny.asm" \
    -n "srcsplice: 5 lines" --prepare "$true_path" "$bin/srcsplice ../tiny.asm $scratch/tiny.out" \
    -n "tlfix: 4 lines + 1 tool" --prepare "cp tiny.rsp t.rsp" "$bin/tlfix tlink t.rsp" \
    -n "bindrun: 4 lines + 2 tools" --prepare "cp tiny.rsp b.rsp" \
    "$bin/bindrun link rc app.exe b.rsp" \
    -n "coffdrv: 1 object + 4 tools" --prepare "$true_path" "$bin/coffdrv app.exe a.o" \
    -n "tlfix: 299 lines + 1 tool" --prepare "cp tlfix.rsp t.rsp" "$bin/tlfix tlink t.rsp" \
    -n "bindrun: 999 lines + 2 tools" --prepare "cp bindrun.rsp b.rsp" \
    "$bin/bindrun link rc app.exe b.rsp" \
    -n "coffdrv: 200 objects + 50 libraries along 20 LIB folders + 4 tools" \
    --prepare "$true_path" "$bin/coffdrv -O2 app.exe @objects.rsp"
)

# own NAME TOOLS: the median of a tiny run less the tools' own time, and
# that against true.
truth=$(median "$csv/tiny.csv" true)
own() {
  local value
  value=$(awk -v m="$(median "$csv/tiny.csv" "$1")" -v t="$truth" -v k="$2" \
    'BEGIN { print m - k * t }')
  row "$1 less the tools' time" "$(ms "$value")" "$(ratio "$value" "$truth")" ""
}
own "tlfix: 4 lines + 1 tool" 1
own "bindrun: 4 lines + 2 tools" 2
own "coffdrv: 1 object + 4 tools" 4
own "tlfix: 299 lines + 1 tool" 1
own "bindrun: 999 lines + 2 tools" 2
own "coffdrv: 200 objects + 50 libraries along 20 LIB folders + 4 tools" 4
per_tool=$(awk -v m="$(median "$csv/tiny.csv" "coffdrv: 1 object + 4 tools")" -v t="$truth" \
  'BEGIN { print (m - 4 * t) / 4 }')
row "coffdrv: added per tool started (1 object: whole run less 4 true runs, over 4)" "$(ms "$per_tool")" "" ""

cd "$in"
peak "asmtally big.asm" "$bin/asmtally" big.asm
peak "asmtally big.c" "$bin/asmtally" big.c
peak "srcsplice big.asm" "$bin/srcsplice" big.asm "$scratch/expanded"
cd "$in/chain"
peak "srcsplice: 64 nested includes" "$bin/srcsplice" main.asm "$scratch/expanded"
