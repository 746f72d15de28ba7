#!/usr/bin/env bash
# Benchmarks of asmtally and srcsplice against the tools people would use
# instead, from a clean checkout: builds the release kit and the input
# generator, writes the inputs into a scratch folder, and prints one table
# of ratios with the targets they are held to, and the machine it ran on.
# Each row gives the ratio of wall time and, beside it, of CPU time (user +
# system), which holds on a shared machine and which the targets are judged
# by, and the system calls of one run of the kit's program.
# The large inputs are measured at each level of scans the processor has:
# the wider levels are masked for the kit's programs (not for the tools
# they are compared with) through GLIBC_TUNABLES, and each row names the
# processor and the level the programs chose.
#
#   bench/run.sh                 # 128 MiB sources, as in the README
#   BENCH_MIB=16 bench/run.sh    # a quick run on smaller sources
#
# Each ratio is the median of BENCH_ROUNDS rounds (default 5), each of which
# runs the two commands side by side with hyperfine; BENCH_DIR keeps the
# inputs in a folder of your choice instead of a temporary one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mib=${BENCH_MIB:-128}
rounds=${BENCH_ROUNDS:-5}

# Measuring is no reason to change the machine: what is missing is named.
missing=()
for tool in cmake:cmake ninja:ninja-build g++:g++ hyperfine:hyperfine /usr/bin/time:time \
  strace:strace; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool#*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bench/run.sh needs: ${missing[*]} (apt-get install -y ${missing[*]})" >&2
  exit 1
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
true_path=$(type -P true)
load_before=$(cut -d' ' -f1 /proc/loadavg)

# median: the median of the numbers on standard input.
median() {
  sort -g | awk '{ v[NR] = $1 } END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# column FILE NAME FIELD: a field of command NAME in hyperfine's CSV.
column() {
  awk -F, -v name="$2" -v field="$3" 'NR > 1 && $1 == name { print $field }' "$1"
}

# kit_command HYPERFINE-OPTIONS...: the command named "kit" with -n.
kit_command() {
  local state="" arg
  for arg in "$@"; do
    case $state in
      name) [ "$arg" = kit ] && state=kit || state="" ;;
      kit) [ "$arg" = --prepare ] && state=prepare || { echo "$arg"; return; } ;;
      prepare) state=kit ;;
      *) [ "$arg" = -n ] && state=name ;;
    esac
  done
}

# system_calls COMMAND: the system calls that the kit's program (the first
# word under $bin) makes in one run of the command.
system_calls() {
  local program="$bin/"
  sh -c "${1/"$program"/strace -qq -c -o $csv/strace $program}" >/dev/null 2>&1 || true
  awk '$NF == "total" { print $4 }' "$csv/strace"
}

# pair LABEL TARGET RUNS -- hyperfine options: runs the reference command
# and the kit's (named "reference" and "kit" with -n) side by side in each
# round, and prints a row with the medians over the rounds, the medians of
# the rounds' ratios of wall time and of CPU time, and the system calls of
# one run of the kit's command.  The target is held to the CPU ratio.
pair() {
  local label=$1 target=$2 runs=$3 round
  shift 4
  echo "== $label" >&2
  : >"$csv/ratios"
  : >"$csv/cpu_ratios"
  : >"$csv/references"
  : >"$csv/kits"
  for round in $(seq "$rounds"); do
    # Its warnings about outliers are what the rounds are there for.
    hyperfine --style none --warmup 2 --runs "$runs" --export-csv "$csv/round.csv" "$@" \
      >/dev/null 2>"$csv/warnings" || { cat "$csv/warnings" >&2; exit 1; }
    column "$csv/round.csv" reference 4 >>"$csv/references"
    column "$csv/round.csv" kit 4 >>"$csv/kits"
    awk -v k="$(column "$csv/round.csv" kit 4)" -v r="$(column "$csv/round.csv" reference 4)" \
      'BEGIN { print k / r }' >>"$csv/ratios"
    awk -F, 'NR > 1 { cpu[$1] = $5 + $6 } END { print cpu["kit"] / cpu["reference"] }' \
      "$csv/round.csv" >>"$csv/cpu_ratios"
  done
  local ratio cpu_ratio calls
  ratio=$(median <"$csv/ratios")
  cpu_ratio=$(median <"$csv/cpu_ratios")
  calls=$(system_calls "$(kit_command "$@")")
  awk -v label="$label" -v kit="$(median <"$csv/kits")" -v ref="$(median <"$csv/references")" \
    -v ratio="$ratio" -v cpu="$cpu_ratio" -v calls="$calls" -v target="$target" \
    -v where="$processor | $scans" 'BEGIN {
      printf "| %s | %s | %.2f ms | %.2f ms | %.2f | %.2f | %s | %s | %s |\n", label, where,
        kit * 1000, ref * 1000, ratio, cpu, calls, target == "-" ? "" : "<= " target,
        target == "-" ? "" : cpu <= target ? "held" : "missed"
    }'
}

# peak_kib COMMAND...: peak resident memory of one run, in KiB.
peak_kib() {
  /usr/bin/time -f %M -o "$csv/peak" "$@" >/dev/null
  cat "$csv/peak"
}

cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
cpu_field() { grep -m1 "^$1" /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'; }
processor="$(cpu_field vendor_id) $cpu (family $(cpu_field 'cpu family'), model $(cpu_field 'model'))"
os=$(. /etc/os-release && echo "$PRETTY_NAME")

# The levels of scans this machine has, widest first, each with the mask
# of glibc's processor features that leaves it the widest.
levels=()
level_masks=()
for mask in "" "-AVX512BW,-AVX512F" "-AVX512BW,-AVX512F,-AVX2"; do
  level=$(GLIBC_TUNABLES=glibc.cpu.hwcaps=$mask build/bench/scan_level)
  if [[ " ${levels[*]} " != *" $level "* ]]; then
    levels+=("$level")
    level_masks+=("$mask")
  fi
done

# The ratios asmtally is held to at each level, on the .asm and the C
# input.
asm_target() { case $1 in AVX-512BW) echo 1.0 ;; AVX2) echo 1.1 ;; *) echo 1.5 ;; esac; }
c_target() { case $1 in AVX-512BW) echo 1.25 ;; AVX2) echo 1.5 ;; *) echo 2.0 ;; esac; }

echo
echo "| Measure | Processor | Scans | Kit | Reference | Ratio | CPU ratio | System calls | Target | |"
echo "|---|---|---|---|---|---|---|---|---|---|"
cd "$in"
level_loads=()
for i in "${!levels[@]}"; do
  scans=${levels[$i]}
  level_loads+=("$(cut -d' ' -f1 /proc/loadavg) before $scans")
  kit=$bin
  [ -z "${level_masks[$i]}" ] || kit="env GLIBC_TUNABLES=glibc.cpu.hwcaps=${level_masks[$i]} $bin"
  pair "asmtally big.asm / wc -l big.asm" "$(asm_target "$scans")" 10 -- -N \
    -n reference "wc -l big.asm" -n kit "$kit/asmtally big.asm"
  pair "asmtally big.c / wc -l big.c" "$(c_target "$scans")" 10 -- -N \
    -n reference "wc -l big.c" -n kit "$kit/asmtally big.c"
  pair "srcsplice big.asm out / cat big.asm > out" 1.25 5 -- \
    -n reference "cat big.asm > $scratch/copy" -n kit "$kit/srcsplice big.asm $scratch/expanded"
  cmp -s big.asm "$scratch/expanded" || echo "warning: srcsplice changed a source without markers" >&2
done
# The cost a build pays per call, where no scan runs: at the widest level
# only.  srcsplice writes a new destination each run: replacing an
# existing file costs the file system more (the next row).
scans=${levels[0]}
pair "asmtally on a 5-line file / true" 0.9 200 -- -N \
  -n reference "$true_path" -n kit "$bin/asmtally tiny.asm"
pair "srcsplice on a 5-line file / true" 0.9 200 -- -N \
  -n reference --prepare "$true_path" "$true_path" \
  -n kit --prepare "rm -f $scratch/tiny.out" "$bin/srcsplice tiny.asm $scratch/tiny.out"
pair "srcsplice on a 5-line file, over its last output / true" - 200 -- -N \
  -n reference "$true_path" -n kit "$bin/srcsplice tiny.asm $scratch/tiny.out"
# Every include name exists as written: the cost of finding names the way
# DOS would must not show here.
pair "srcsplice on an include tree of 10000 files / cat of its files" - 10 -- \
  -n reference "cd tree && cat main.asm inc/*.inc inc/*/*.inc inc/*/*/*.inc > $scratch/tree.copy" \
  -n kit "cd tree && $bin/srcsplice main.asm $scratch/tree.out"

echo "== peak memory" >&2
peaks=(
  "$(peak_kib "$bin/asmtally" big.asm)"
  "$(peak_kib "$bin/asmtally" big.c)"
  "$(peak_kib "$bin/srcsplice" big.asm "$scratch/expanded")"
  "$(cd tree && peak_kib "$bin/srcsplice" main.asm "$scratch/expanded")"
  "$(cd chain && peak_kib "$bin/srcsplice" main.asm "$scratch/expanded")"
)
most=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
awk -v kib="$most" 'BEGIN {
  printf "| peak memory, any input (largest of the five below) | | | %.1f MiB | | | | | < 4 MiB | %s |\n",
    kib / 1024, kib < 4 * 1024 ? "held" : "missed"
}'
echo
echo "Peak memory in KiB: asmtally big.asm ${peaks[0]}, asmtally big.c ${peaks[1]}," \
  "srcsplice big.asm ${peaks[2]}, srcsplice on an include tree of 10000 files ${peaks[3]}," \
  "srcsplice on 64 nested includes ${peaks[4]}."
echo "Measured on $(nproc) cores of $processor (levels of scans: ${levels[*]}), $(free -g | awk '/^Mem:/ { print $2 }') GiB" \
  "of memory, $os, Linux $(uname -r), $(hyperfine --version), $(wc --version | head -1);" \
  "${mib} MiB sources in the page cache; load average $load_before before the run," \
  "$(IFS=,; echo "${level_loads[*]}" | sed 's/,/, /g')," \
  "$(cut -d' ' -f1 /proc/loadavg) after; medians of $rounds rounds of side-by-side runs."
