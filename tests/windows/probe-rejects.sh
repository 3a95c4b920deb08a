#!/bin/sh
# The probe, checking libraries as the program's loader does, under Wine: a missing file, the Linux
# build under the Windows name (not a PE file), a library of another version and libraries that
# lack exports each get the loader's text and exit code 3, and nothing crashes.
#   probe-rejects.sh WINDOWS_BUILD_DIR LINUX_BIN_DIR_AS_WINDOWS_PATH
set -u
build=$1 host=$2
empty=$(mktemp -d "$build/probe-empty.XXXXXX")
trap 'rmdir "$empty"' EXIT
failures=0

# expect NAME DIR TEXT: the probe of DIR ends with code 3 and prints TEXT at the start of a line.
expect() {
    output=$("$build/wine-run" "$build/bin/ZorvySdkProbe.exe" --dir "$2" 1)
    status=$?
    if [ $status -ne 3 ] || ! printf '%s\n' "$output" | grep -qF -- "$3"; then
        echo "FAIL $1: exit $status, output:"; printf '%s\n' "$output"
        echo "  expected exit 3 and: $3"
        failures=$((failures + 1))
    else
        echo "ok   $1: $(printf '%s' "$output" | head -1)"
    fi
}

absent='SDK absent ou impossible à charger : Cannot load library ZorvyRailsSDK.dll: '
incompatible='SDK incompatible : ce TCO nécessite ZorvyRailsSDK 0.6.x (ABI 1). Réinstallez le paquet depuis KVD Hub.'
expect "no library file" "$empty" "$absent"
expect "no library file: the system's code" "$empty" "(error 126)"
expect "Linux build under the Windows name" "$host" "$absent"
expect "Linux build: not a PE file" "$host" "(error 193)"
expect "minor version 7" "$build/variants/minor7" "$incompatible"
expect "missing the last export" "$build/variants/missing-status" "SDK incomplet : ZorvySdk_StatusString"
expect "missing several exports: the first named" "$build/variants/missing-several" "SDK incomplet : ZorvySdk_CopyTrackNodes"

# The good library passes the check (and finds no game with process id 1).
output=$("$build/wine-run" "$build/bin/ZorvySdkProbe.exe" 1)
status=$?
if [ $status -ne 4 ] || ! printf '%s\n' "$output" | grep -q '^library checked$'; then
    echo "FAIL the good library: exit $status"; printf '%s\n' "$output"; failures=$((failures + 1))
else
    echo "ok   the good library: $(printf '%s' "$output" | tail -1)"
fi
[ $failures -eq 0 ]
