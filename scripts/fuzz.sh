#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# FUZZ_SECONDS sets the time per target (default 25: with six targets the
# whole run stays within about three minutes). Each target starts from its
# corpus in the build tree and the inputs kept in tests/fuzz/regressions;
# the closing line adds up the executions of all targets.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-25}
cmake --preset fuzz >/dev/null
targets=()
for source in tests/fuzz/*_fuzz.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"

total=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  corpus="build/fuzz/tests/fuzz/${name}_corpus"
  mkdir -p "$corpus"
  seeds=()
  [ -d "tests/fuzz/regressions/$name" ] && seeds=("tests/fuzz/regressions/$name")
  dict="build/fuzz/tests/fuzz/${name}.dict"
  dict_arg=()
  [ -f "$dict" ] && dict_arg=(-dict="$dict")
  echo "== fuzzing $target for ${seconds}s"
  # A failing input is written into the build tree, not into the sources.
  "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="build/fuzz/tests/fuzz/${name}-" "${dict_arg[@]}" "$corpus" "${seeds[@]}" \
    >"$log" 2>&1 || { tail -n 40 "$log"; echo "== $target failed"; exit 1; }
  grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb))' "$log" || true
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  total=$((total + ${runs:-0}))
done
echo "== fuzzing done: ${#targets[@]} targets, ${seconds}s each, $total executions in all"
