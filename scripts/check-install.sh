#!/usr/bin/env bash
# Checks what the build installs: `cmake --install` into a fresh prefix gives a program that finds
# its library beside it (--check-sdk exits 0) and prints its version. With --deb it also makes the
# Debian package, installs it with dpkg and apt-get -f install (as root, on Debian 12), runs the
# installed program the same way and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
ls "$prefix/bin"
"$prefix/bin/ZorvyTco" --version
"$prefix/bin/ZorvyTco" --check-sdk
echo "installed into a prefix: the library check passes"

if [[ ${1:-} == --deb ]]; then
    (cd "$build" && cpack -G DEB >/dev/null)
    package=$(ls -t "$build"/zorvy-tco_*.deb | head -n 1)
    dpkg-deb --field "$package" Package Version Depends
    dpkg -i "$package" || apt-get -f install -y
    dpkg -s zorvy-tco | grep -q '^Status: install ok installed'
    /opt/zorvy-tco/bin/ZorvyTco --version
    /opt/zorvy-tco/bin/ZorvyTco --check-sdk
    dpkg -r zorvy-tco >/dev/null
    echo "$package installs, its program passes the library check, and it is removed again"
fi
