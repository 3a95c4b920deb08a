#!/bin/sh
# Every file of src/ compiles for Windows: MinGW's compiler with the host's Qt headers (which set
# Q_OS_WIN from _WIN32) checks the syntax of each .cpp, Windows branches included. windows.h goes in
# front of each file, as a precompiled header or a unity build of the Windows program may put it,
# so a name that windows.h declares or defines as a macro (OpenProcess, near, ERROR…) fails here
# rather than on Windows. Files listed in windows-h-exceptions.txt, each with its reason, are
# compiled as they stand instead. Files ending in Posix.cpp are the Linux side and are skipped.
#   syntax-check.sh MINGW_CXX REPOSITORY QT_INCLUDE_DIR
set -u
cxx=$1 repo=$2 qt=$3 host_build=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
includes=""
# Headers the host build generates (the version) are the same for Windows.
for dir in $(find "$repo/src" ${host_build:+"$host_build/src"} -name '*.h' ! -path '*_autogen*' \
                 -exec dirname {} \; | sort -u); do
    includes="$includes -I$dir"
done
for module in QtCore QtGui QtNetwork QtQml QtQuick QtQuickControls2; do
    includes="$includes -I$qt/$module"
done
# The C libraries the program links (SQLite, zstd) come with headers of their own that are the
# same on every system: the host's copies stand in for the Windows ones.
third=$(mktemp -d)
for header in sqlite3.h sqlite3ext.h zstd.h zstd_errors.h; do
    [ -f "/usr/include/$header" ] && ln -s "/usr/include/$header" "$third/$header"
done
includes="$includes -I$third"
exceptions=$(grep -v '^#' "$here/windows-h-exceptions.txt" | cut -d' ' -f1)
export cxx qt includes repo exceptions
log=$(mktemp)
trap 'rm -f "$log"; rm -rf "$third"' EXIT
find "$repo/src" -name '*.cpp' ! -name '*Posix.cpp' | sort | xargs -P "$(nproc)" -I{} sh -c '
    file={}
    front="-include windows.h"
    for excepted in $exceptions; do
        [ "$repo/$excepted" = "$file" ] && front=""
    done
    errors=$(mktemp)
    if "$cxx" -std=c++17 -fsyntax-only -Wno-attributes $front -DUNICODE -D_UNICODE \
        -DQT_CORE_LIB -DQT_GUI_LIB -DQT_NETWORK_LIB -DQT_QML_LIB -DQT_QUICK_LIB \
        -I"$qt" $includes "$file" 2>"$errors"; then
        echo "ok   $file${front:+ (windows.h first)}"
    else
        echo "FAIL $file${front:+ (windows.h first)}"; cat "$errors"
    fi
    rm -f "$errors"' > "$log" 2>&1
cat "$log"
checked=$(grep -c '^ok ' "$log")
failed=$(grep -c '^FAIL ' "$log")
echo "$checked file(s) compile for Windows, $failed do not"
[ "$failed" -eq 0 ] && [ "$checked" -gt 0 ]
