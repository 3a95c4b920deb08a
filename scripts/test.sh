#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Linux suite, then the Windows side
# (tests/windows), cross-built with MinGW-w64 into build/windows and run under Wine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${ZORVY_BUILD_DIR:-$root/build}
cd "$build"
status=0
ctest --output-on-failure --parallel "$(nproc)" --timeout 300 || status=$?

windows="$build/windows"
cmake -S "$root/tests/windows" -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DZORVY_HOST_BUILD_DIR="$build"
cmake --build "$windows" --parallel "$(nproc)"
cd "$windows"
ctest --output-on-failure --parallel "$(nproc)" --timeout 300 -L windows || status=$?
exit $status
