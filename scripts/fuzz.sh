#!/usr/bin/env bash
# Builds the libFuzzer target with clang and runs each for a bounded time (FUZZ_SECONDS, 20 by
# default) from its kept corpus. New inputs go to a scratch copy, so the kept corpus changes
# only when you copy findings into tests/fuzz/corpus yourself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/packages.sh
seconds=${FUZZ_SECONDS:-20}
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DZC_BUILD_FUZZ=ON -DZC_BUILD_TESTS=OFF >/dev/null
targets=(registry_file)
cmake --build build/fuzz --target "${targets[@]/#/fuzz_}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
for t in "${targets[@]}"; do
  mkdir -p "$scratch/$t"
  cp tests/fuzz/corpus/"$t"/* "$scratch/$t/"
  echo "fuzzing $t for ${seconds}s"
  mkdir -p build/fuzz/findings
  build/fuzz/tests/fuzz/fuzz_$t -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/findings/$t-" "$scratch/$t" 2>"$scratch/$t.log" ||
    { tail -n 40 "$scratch/$t.log"; echo "the input that failed is kept in build/fuzz/findings"; exit 1; }
  grep -E "^stat::number_of_executed_units" "$scratch/$t.log" || true
done
