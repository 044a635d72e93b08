#!/usr/bin/env bash
# Builds everything and runs every test: the full build (reader, imaging,
# window), whose programs are checked for their hardening, and a second build of the metadata reader under AddressSanitizer and
# UndefinedBehaviorSanitizer, which also builds the fuzz target and runs it
# over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

# The programs of the optimised build must carry their hardening: relocations
# resolved at start (BIND_NOW) in a read-only segment (GNU_RELRO), stack
# canaries (__stack_chk_fail) and checked buffer functions (__*_chk).
check_hardening() {
  local program dynamic segments symbols failed=0
  for program in "$@"; do
    dynamic=$(readelf -dW "$program")
    segments=$(readelf -lW "$program")
    symbols=$(readelf --dyn-syms -W "$program")
    if ! grep -Eq 'BIND_NOW|\(FLAGS_1\).*\bNOW\b' <<<"$dynamic"; then
      echo "$program: not linked with -z now" >&2; failed=1
    fi
    if ! grep -q 'GNU_RELRO' <<<"$segments"; then
      echo "$program: no read-only relocation segment (-z relro)" >&2; failed=1
    fi
    if ! grep -q '__stack_chk_fail' <<<"$symbols"; then
      echo "$program: no stack protector (-fstack-protector-strong)" >&2; failed=1
    fi
    if ! grep -Pq '\b__(?!stack_chk_fail)\w+_chk\b' <<<"$symbols"; then
      echo "$program: no checked buffer functions (-D_FORTIFY_SOURCE=2)" >&2; failed=1
    fi
  done
  return "$failed"
}

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$jobs"
check_hardening build/bin/tessaly build/bin/tessaly-stamp build/bin/tessaly-exif
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j"$jobs"

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTESSALY_READER_ONLY=ON -DTESSALY_SANITIZE=ON -DTESSALY_FUZZ=ON
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs"
