#!/bin/sh
# Every C++ file of the program, its tests, benchmarks and fuzzers is laid out as .clang-format says.
# Only clang-format 14 is asked: each version lays some lines out
# differently, and the tree is formatted with that one.
# usage: source_format.sh SOURCE_DIR
set -eu
cd "$1"
tool=$(command -v clang-format-14 || command -v clang-format || true)
[ -n "$tool" ] || { echo "SKIPPED: clang-format is not installed (Debian package clang-format)"; exit 77; }
version=$("$tool" --version | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
[ "$version" = 14 ] || { echo "SKIPPED: $tool is version $version; the tree is laid out by version 14"; exit 77; }
find detect io report app cli tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -print0 2> /dev/null |
    xargs -0 "$tool" --dry-run --Werror
