#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for the given number of seconds
# (600 unless told) over a working copy of its seed corpus:
#   bash fuzz/run.sh [seconds] [target...]
# The targets are fuzz_recordfile (the record file reader and the path rule,
# seeds in fuzz/corpus/) and fuzz_vcard (the vCard reader, writer and contact
# mapping, seeded with the sample cards in tests/data/vcard/); both unless
# named. A finding stops the run, leaves its input in build-fuzz/ and fails.
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/common.sh"
install_packages clang libclang-rt-14-dev qt6-base-dev pkgconf

out=$top/build-fuzz
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_recordfile fuzz_vcard)
# The store, and the table of a contact's fields that its vCard mapping goes by.
store=("$top"/src/store/*.cpp "$top"/src/model/contactfields.cpp "$top"/src/model/vcardcontact.cpp)
# The store's own QObject classes need their meta-object code, as CMake's
# automoc makes it for the program.
mkdir -p "$out/moc"
for header in "$top"/src/store/*.h; do
  grep -q Q_OBJECT "$header" || continue
  generated=$out/moc/moc_$(basename "${header%.h}").cpp
  /usr/lib/qt6/libexec/moc -I"$top/src" "$header" -o "$generated"
  store+=("$generated")
done

# shellcheck disable=SC2207 # pkg-config gives several words on purpose
flags=(-std=c++20 -g -O1 -fPIC -Wall -Wextra -Wpedantic -Werror -fsanitize=address,undefined -fno-sanitize-recover=all
  -I"$top/src" $(pkg-config --cflags Qt6Core))
# The store is compiled once for both targets, a file per core at a time.
mkdir -p "$out/obj"
objects=() pids=()
for source in "${store[@]}"; do
  objects+=("$out/obj/$(basename "${source%.cpp}").o")
  [ ${#pids[@]} -lt "$(nproc)" ] || { wait "${pids[0]}"; pids=("${pids[@]:1}"); }
  clang++ "${flags[@]}" -fsanitize=fuzzer-no-link -c "$source" -o "${objects[-1]}" &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid"; done

# Each target fuzzes on a core of its own, all at once; their output follows
# one after the other.
touch "$out/started"
pids=()
for target in "${targets[@]}"; do
  case $target in
    fuzz_recordfile) seeds=("$top"/fuzz/corpus/*) ;;
    fuzz_vcard) seeds=("$top"/tests/data/vcard/*) ;;
    *) echo "no fuzz target $target" >&2; exit 2 ;;
  esac
  corpus=$out/corpus-$target
  mkdir -p "$corpus"
  # shellcheck disable=SC2046 # pkg-config gives several words on purpose
  clang++ "${flags[@]}" -fsanitize=fuzzer "$top/fuzz/$target.cpp" "${objects[@]}" \
    $(pkg-config --libs Qt6Core) -o "$out/$target"
  cp -n "${seeds[@]}" "$corpus/"
  "$out/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/$target-" "$corpus" >"$out/$target.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in "${!targets[@]}"; do
  wait "${pids[$i]}" || failed=1
  cat "$out/${targets[$i]}.log"
done
# A finding on a machine that is gone (CI's) is only of use with its input,
# printed here as base64.
find "$out" -maxdepth 1 -newer "$out/started" \( -name '*-crash-*' -o -name '*-timeout-*' -o -name '*-leak-*' -o -name '*-oom-*' \) \
  -exec sh -c 'echo "input of $1 (base64):"; base64 -w0 "$1"; echo' _ {} \;
exit $failed
