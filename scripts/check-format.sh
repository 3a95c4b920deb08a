#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says (clang-format 14),
# naming each file; `clang-format -i FILE` formats one.
set -u
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format) || {
    echo "clang-format 14 is not installed (apt-get install clang-format-14)" >&2
    exit 2
}
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c')
else
    mapfile -t files < <(find src sim tests bench -name '*.cpp' -o -name '*.h' -o -name '*.c')
fi
# One run over every file; each complaint starts with "file:line:column: ".
complaints=$("$format" --dry-run --Werror "${files[@]}" 2>&1 >/dev/null)
status=$?
mapfile -t bad < <(sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: .*$/\1/p' <<<"$complaints" | sort -u)
if ((status != 0 && ${#bad[@]} == 0)); then
    printf '%s\n' "$complaints" >&2
    exit 2
fi
if ((${#bad[@]})); then
    printf 'Not formatted with .clang-format (%d of %d files):\n' "${#bad[@]}" "${#files[@]}" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "${#files[@]} files formatted with .clang-format"
