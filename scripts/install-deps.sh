#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the headless run need. Packages already
# present are skipped, so running it again costs nothing.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtqml-workerscript
    qml6-module-qttest qml6-module-qtqml
    libgl-dev openssl fonts-dejavu-core procps
    # Recordings: SQLite files with zstd-compressed records.
    libsqlite3-dev libzstd-dev
    # The format check of the C++ files.
    clang-format
    # The Windows side (tests/windows): MinGW-w64 with POSIX threads, Wine to run it, Xvfb for
    # its message box.
    g++-mingw-w64-x86-64-posix wine64 xvfb
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all ${#packages[@]} packages already installed"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    sudo=sudo
else
    sudo=
fi
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
