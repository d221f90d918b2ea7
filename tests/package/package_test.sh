#!/usr/bin/env bash
# Builds the Debian package from this build tree into a temporary folder and
# checks what a user's system would receive: every file in its place,
# runtime dependencies only, the versions agreeing, and the desktop entry,
# the metadata, the icons, the manual pages and the completion as the tools
# that read them see them. Validators that are not installed are named, and
# their checks skipped.
# usage: package_test.sh CPACK BUILD_DIR PROJECT_VERSION QUADFIND_CLI
set -euo pipefail
cpack=$1 build=$2 version=$3 cli=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
have() { command -v "$1" >/dev/null || { echo "not installed, not checked: $1"; return 1; }; }

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$work/quadfind_${version}_amd64.deb
[ -f "$deb" ] || { ls "$work"; fail "no $deb"; exit 1; }
dpkg-deb -x "$deb" "$work/root"
root=$work/root

for path in usr/bin/quadfind usr/bin/quadfind-cli \
    usr/share/applications/io.github.quadfind.quadfind.desktop \
    usr/share/metainfo/io.github.quadfind.quadfind.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/quadfind.svg \
    usr/share/icons/hicolor/{48x48,128x128,256x256}/apps/quadfind.png \
    usr/share/man/man1/{quadfind,quadfind-cli}.1.gz \
    usr/share/bash-completion/completions/quadfind-cli \
    usr/share/doc/quadfind/{copyright,changelog.gz}; do
    [ -f "$root/$path" ] || fail "the package lacks /$path"
done
# Anything else that slipped into the install (a test, a header, a static
# library) would show here.
extra=$(cd "$root" && find . -type f | sed 's|^\./||' | grep -v -E \
    '^usr/(bin/quadfind(-cli)?|share/(applications|metainfo|icons/hicolor|man/man1|bash-completion|doc/quadfind|lintian/overrides)/.*)$' || true)
[ -z "$extra" ] || fail "files nobody asked for: $extra"

depends=$(dpkg-deb -f "$deb" Depends)
[ -n "$depends" ] || fail "no Depends"
grep -q -- '-dev\b' <<<"$depends" && fail "Depends names a -dev package: $depends"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"
changelog_version=$(zcat "$root/usr/share/doc/quadfind/changelog.gz" | sed -n '1s/^quadfind (\([^)]*\)).*/\1/p')
[ "$changelog_version" = "$version" ] || fail "the changelog's last entry is $changelog_version, not $version"
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
    "$root/usr/share/doc/quadfind/copyright" || fail "copyright is not in the machine-readable format"

# A PNG says its size in its header: bytes 16-23, width and height.
for size in 48 128 256; do
    read -r w h < <(od -An -tu1 -j16 -N8 "$root/usr/share/icons/hicolor/${size}x${size}/apps/quadfind.png" |
        awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
    [ "$w $h" = "$size $size" ] || fail "the ${size}x${size} icon is $w x $h"
done

if have desktop-file-validate; then
    desktop-file-validate "$root/usr/share/applications/io.github.quadfind.quadfind.desktop" ||
        fail "desktop-file-validate"
fi
if have appstreamcli; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.quadfind.quadfind.metainfo.xml" ||
        fail "appstreamcli validate"
fi
if have man; then
    for page in quadfind quadfind-cli; do
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "man -l $page.1.gz: $warnings"
    done
fi
if have lintian; then
    # lintian leaves a file in TMPDIR behind at every run.
    mkdir "$work/lintian"
    TMPDIR=$work/lintian lintian --fail-on error "$deb" || fail "lintian reports an error"
fi

# The completion offers exactly the options --help lists, so that neither
# drifts from the other.
completion=$root/usr/share/bash-completion/completions/quadfind-cli
from_help=$("$cli" --help | grep -o -E '^ +(-[a-z0-9], )?--[a-z-]+' | grep -o -E -- '--?[a-z0-9-]+' | sort)
from_completion=$(bash -c 'source "$1"; COMP_WORDS=(quadfind-cli -); COMP_CWORD=1; _quadfind_cli
    printf "%s\n" "${COMPREPLY[@]}"' sh "$completion" | sort)
[ "$from_help" = "$from_completion" ] ||
    fail "completion and --help differ: $(diff <(echo "$from_help") <(echo "$from_completion") | grep '^[<>]' | tr '\n' ' ')"
# Names with spaces come back whole; a number is not completed as a file.
mkdir "$work/pictures" && touch "$work/pictures/my photo.bmp"
complete_in() { (cd "$work/pictures" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _quadfind_cli; printf "%s|" "${COMPREPLY[@]}"' sh "$completion" "$@"); }
[ "$(complete_in quadfind-cli my)" = "my photo.bmp|" ] || fail "a picture's name with a space: '$(complete_in quadfind-cli my)'"
[ "$(complete_in quadfind-cli --overlay m)" = "my photo.bmp|" ] || fail "--overlay does not complete files"
[ "$(complete_in quadfind-cli --jobs m)" = "|" ] || fail "--jobs completes files: '$(complete_in quadfind-cli --jobs m)'"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "package checked: $(stat -c %s "$deb") bytes, Depends: $depends"
