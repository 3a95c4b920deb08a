#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/ and runs the Linux
# suite under them: any report of our code fails its test; leaks inside Qt and OpenSSL are
# suppressed (tests/sanitizers/lsan.supp). About ten minutes on 2 cores.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZORVY_SANITIZE_BUILD_DIR:-$root/build-sanitize}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZORVY_SANITIZE=address,undefined
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
