#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time on a
# copy of its seed corpus, so that the checked-in corpus stays as it is.
# Fails on any crash, sanitizer report or difference a target detects.
#
#   fuzz/run.sh [seconds per target] [target ...]
#
# FUZZ_BUILD_DIR chooses the build folder (default build/fuzz); crashing
# inputs are kept in <build folder>/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(text_reader tlfix_rewrite bindrun_rewrite coffdrv_collect asmtally_count
           srcsplice_expand)
fi
build=${FUZZ_BUILD_DIR:-build/fuzz}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKIT_FUZZ=ON -DBUILD_TESTING=OFF -DKIT_WERROR=ON >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

build=$(cd "$build" && pwd)
failed=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  rm -rf "$corpus"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$target"/* "$corpus"/
  echo "== fuzz $target (${seconds}s)"
  # Leaks are looked for too; a timeout of 10 s per input counts as a hang.
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" \
      >"$build/$target.log" 2>&1; then
    failed+=("$target")
    tail -n 40 "$build/$target.log"
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/$target.log" || true
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]} (inputs in $build/artifacts)" >&2
  exit 1
fi
echo "fuzzing passed: ${targets[*]}"
