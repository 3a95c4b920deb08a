#!/bin/sh
# The Windows build of the stand-in library reads the fixed world as the Linux build does: the
# probe, loading the library by name, passing the version check and resolving the fifteen entry
# points, prints the same counts and ids on both for the world that each system's publisher wrote.
#   probe-world.sh WINDOWS_BUILD_DIR LINUX_BIN_DIR
set -u
build=$1 host=$2
work=$(mktemp -d "$build/probe-world.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run_side NAME PUBLISHER PROBE...: publishes, probes the publisher's process id, ends it.
run_side() {
    name=$1 publisher=$2
    shift 2
    ready="$work/$name.ready"
    $publisher --ready-file "$ready" --seconds 90 > "$work/$name.publisher.log" 2>&1 &
    tries=0
    until [ -s "$ready" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 600 ]; then echo "$name publisher not ready"; cat "$work/$name.publisher.log"; exit 1; fi
        sleep 0.1
    done
    pid=$(tr -dc '0-9' < "$ready")
    "$@" "$pid" > "$work/$name.txt"
    status=$?
    rm -f "$ready" # the publisher ends
    wait
    if [ $status -ne 0 ]; then echo "$name probe failed ($status):"; cat "$work/$name.txt"; exit 1; fi
}

cd "$work"
run_side linux "$host/ZorvyWorldPublisher" "$host/ZorvySdkProbe"
run_side windows "$build/wine-run $build/bin/ZorvyWorldPublisher.exe" "$build/wine-run" "$build/bin/ZorvySdkProbe.exe"

echo "Linux stand-in:"; cat linux.txt
# Every list is there, and the Windows build says the same.
for list in "library checked" trains tracks stations signals signalStates signalTextures trackNodes path reservations occupations; do
    grep -q "^$list" linux.txt || { echo "the Linux probe printed no '$list'"; exit 1; }
done
diff -u linux.txt windows.txt || { echo "the Windows stand-in differs"; exit 1; }
echo "the Windows stand-in gives the same counts and ids"
