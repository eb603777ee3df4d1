#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# FUZZ_SECONDS sets the time per target (default 30).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
cmake --preset fuzz >/dev/null
targets=()
for source in tests/fuzz/*_fuzz.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake --build --preset fuzz -j "$(nproc)" --target "${targets[@]}"

for target in "${targets[@]}"; do
  corpus="build/fuzz/tests/fuzz/${target%_fuzz}_corpus"
  mkdir -p "$corpus"
  dict="build/fuzz/tests/fuzz/${target%_fuzz}.dict"
  dict_arg=()
  [ -f "$dict" ] && dict_arg=(-dict="$dict")
  echo "== fuzzing $target for ${seconds}s"
  "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 "${dict_arg[@]}" "$corpus" \
    2>&1 | tail -n 12
  test "${PIPESTATUS[0]}" -eq 0
done
