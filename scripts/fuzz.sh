#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ in build/fuzz and runs the model
# parsers' target for a number of inputs (default one million), starting
# from the seeds in fuzz/seeds/model. New inputs go to build/fuzz/corpus.
# Usage: scripts/fuzz.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-1000000}"
cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DNORVANE_FUZZ=ON -DNORVANE_BUILD_TESTS=OFF -DNORVANE_BUILD_BENCH=OFF >/dev/null
cmake --build build/fuzz --target model_fuzz -j2
mkdir -p build/fuzz/corpus/model
build/fuzz/fuzz/model_fuzz -runs="$runs" -max_len=512 -print_final_stats=1 \
  build/fuzz/corpus/model fuzz/seeds/model
