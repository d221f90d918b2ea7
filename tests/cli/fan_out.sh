#!/bin/sh
# Runs the README's fan-out recipe (xargs -P over parts of one list) on this
# machine and checks that the merged JSON Lines equal one serial run.
# usage: fan_out.sh QUADFIND_CLI SAMPLE_BMP
set -eu
cli=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"
cp "$2" "$work/photos/p0.bmp"
cd "$work"
# Pictures that differ: the sample, its edge map and the edge map's own.
"$cli" --overlay photos/p1.bmp photos/p0.bmp > /dev/null
"$cli" --overlay photos/p2.bmp photos/p1.bmp > /dev/null
for i in $(seq 3 29); do cp "photos/p$((i % 3)).bmp" "photos/p$i.bmp"; done
cp photos/p0.bmp "photos/odd
name.bmp"

find photos -maxdepth 1 -name '*.bmp' -print0 | sort -z > all.list
split -t '\0' -l 7 -d -a 3 all.list part.
printf '%s\n' part.??? |
    xargs -P 3 -I{} sh -c '"$0" --jobs 1 --json -0 --files-from "$1" > "$1.jsonl"' "$cli" {}
cat part.???.jsonl > merged.jsonl

"$cli" --jobs 1 --json -0 --files-from all.list > serial.jsonl
[ "$(wc -l < serial.jsonl)" -eq 31 ] && [ "$(ls part.??? | wc -l)" -eq 5 ] || { echo "not 31 pictures in 5 parts"; exit 1; }
cmp serial.jsonl merged.jsonl
