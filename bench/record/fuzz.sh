#!/bin/sh
# Builds the fuzzer of the recording reader with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs it for a while (not part of CTest).
# Usage: bench/record/fuzz.sh [seconds, default 300] [extra libFuzzer options]
# The reading code is built here with the sanitizers; the rest (the capture's records and the
# library's copy rules) comes from the normal build in build/, made first. The build goes to build-fuzz/, the inputs it keeps to build-fuzz/corpus/ and whatever makes it
# fail to build-fuzz/crash-* (replay one with build-fuzz/fuzz_recording build-fuzz/crash-…).
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/build-fuzz"
seconds=${1:-300}
[ $# -gt 0 ] && shift
mkdir -p "$out/corpus"
flags="-g -O1 -std=c++17 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined"
includes="-I$root/src/record -I$root/src/capture -I$root/src/sdk -I$root/src/abi -I$root/src/model \
 -I$root/src/platform $(pkg-config --cflags Qt6Core sqlite3 libzstd)"
sources="$root/bench/record/fuzz_recording.cpp $root/src/record/RecordingReader.cpp \
 $root/src/record/RecordingWriter.cpp $root/src/record/RecordingFormat.cpp \
 $root/src/record/RecordedImages.cpp $root/src/record/PackedTextures.cpp $root/src/record/Sqlite.cpp"
lib="$root/build/lib"
# shellcheck disable=SC2086
clang++ $flags $includes $sources -o "$out/fuzz_recording" "$lib/libzorvy_capture.a" \
    "$lib/libzorvy_sdk.a" "$lib/libzorvy_platform.a" $(pkg-config --libs Qt6Core sqlite3 libzstd)
cd "$out"
# A list may rightly take hundreds of megabytes (its own limit), hence the memory allowed.
# shellcheck disable=SC2068
./fuzz_recording -max_total_time="$seconds" -rss_limit_mb=6144 -malloc_limit_mb=2048 \
    -max_len=65536 -timeout=20 -print_final_stats=1 $@ corpus
