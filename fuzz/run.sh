#!/usr/bin/env bash
# Builds the record file fuzz target with clang's libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer, and runs it for the given number of seconds
# (600 unless told) over a working copy of the committed seed corpus:
#   bash fuzz/run.sh [seconds]
# A finding stops the run, leaves its input in build-fuzz/ and fails.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
install_packages clang libclang-rt-14-dev qt6-base-dev pkgconf

out=$top/build-fuzz
mkdir -p "$out/corpus"
# shellcheck disable=SC2046 # pkg-config gives several words on purpose
clang++ -std=c++20 -g -O1 -fPIC -Wall -Wextra -Wpedantic -Werror \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$top/src" $(pkg-config --cflags Qt6Core) \
  "$top/fuzz/fuzz_recordfile.cpp" "$top/src/store/recordfile.cpp" "$top/src/store/paths.cpp" \
  $(pkg-config --libs Qt6Core) -o "$out/fuzz_recordfile"
cp -n "$top"/fuzz/corpus/* "$out/corpus/"
"$out/fuzz_recordfile" -max_total_time="${1:-600}" -max_len=4096 -timeout=10 -print_final_stats=1 \
  -artifact_prefix="$out/" "$out/corpus"
