#!/usr/bin/env bash
# Fails when a C++ file of the project is not formatted as .clang-format says (clang-format 14),
# naming each file; `clang-format -i FILE` formats one.
set -u
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format) || {
    echo "clang-format 14 is not installed (apt-get install clang-format-14)" >&2
    exit 2
}
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' '*.c' 2>/dev/null ||
                     find src sim tests bench -name '*.cpp' -o -name '*.h' -o -name '*.c')
bad=()
for file in "${files[@]}"; do
    "$format" --dry-run --Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if ((${#bad[@]})); then
    printf 'Not formatted with .clang-format (%d of %d files):\n' "${#bad[@]}" "${#files[@]}" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "${#files[@]} files formatted with .clang-format"
