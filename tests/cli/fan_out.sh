#!/bin/sh
# Runs the README's fan-out recipe (xargs -P over parts of one list) on this
# machine and checks that the merged JSON Lines equal one serial run.
# usage: fan_out.sh QUADFIND_CLI SAMPLE_BMP
set -eu
cli=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sample=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
quadfind_cli() { "$cli" "$@"; }

# Pictures that differ: the sample, its edge map and the edge map's own.
mkdir photos
quadfind_cli --overlay edges.bmp "$sample" > /dev/null
quadfind_cli --overlay edges2.bmp edges.bmp > /dev/null
i=0
while [ $i -lt 30 ]; do
    case $((i % 3)) in 0) src=$sample ;; 1) src=edges.bmp ;; *) src=edges2.bmp ;; esac
    cp "$src" "photos/p$i.bmp"
    i=$((i + 1))
done
cp "$sample" "photos/odd
name.bmp"

# The recipe, as in the README.
find photos -maxdepth 1 -name '*.bmp' -print0 | sort -z > all.list
split -t '\0' -l 7 -d -a 3 all.list part.
printf '%s\n' part.??? |
    xargs -P 3 -I{} sh -c '"$0" --jobs 1 --json -0 --files-from "$1" > "$1.jsonl"' "$cli" {}
cat part.???.jsonl > merged.jsonl

quadfind_cli --jobs 1 --json -0 --files-from all.list > serial.jsonl
[ "$(wc -l < serial.jsonl)" -eq 31 ] || { echo "serial run: $(wc -l < serial.jsonl) lines, not 31"; exit 1; }
[ "$(ls part.??? | wc -l)" -eq 5 ] || { echo "expected 5 parts"; exit 1; }
cmp serial.jsonl merged.jsonl
echo "31 pictures in 5 parts: merged output equals the serial run"
