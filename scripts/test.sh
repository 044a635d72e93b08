#!/usr/bin/env bash
# Builds everything and runs every test: the full build (reader, imaging,
# window) and a second build of the metadata reader under AddressSanitizer and
# UndefinedBehaviorSanitizer, which also builds the fuzz target and runs it
# over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_READER_ONLY=ON -DTESSALY_SANITIZE=ON -DTESSALY_FUZZ=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
