#!/usr/bin/env bash
# Installs the Debian package into a fresh minimal Debian root the way a user
# would (apt-get install ./quadfind_*.deb, nothing else by hand) and checks
# what lands there: quadfind-cli prints what the build tree's prints, both
# programs say the package's version, the window starts and ends cleanly
# without a display, the manual pages format without a warning, and dpkg -r
# takes every file back.
#
# For the host's own release the package is build/package's (make package).
# For another release the host's package would not install (Qt's library
# packages are named differently there), so the package is first built from
# this working tree, uncommitted changes included, in a throwaway root of that
# release.
#
# usage: scripts/package_check.sh [SUITE]     (default bookworm; as root)
# The minimal root is downloaded once and kept as
# build/package-check/SUITE-minbase.tar; every run works in a fresh copy of it
# under build/package-check/ and removes that copy on exit.
set -u -o pipefail
umask 022

started=$(date +%s.%N)
suite=${1:-bookworm}
mirror=http://deb.debian.org/debian
repo=$(cd "$(dirname "$0")/.." && pwd -P)
cache=$repo/build/package-check
tarball=$cache/$suite-minbase.tar
sample=samples/quadrilateral.bmp
clean_env=(/usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin TERM=dumb)

die() { echo "package-check: $*" >&2; exit 2; }

[[ $suite =~ ^[a-z]+$ ]] || die "'$suite' is not a Debian release name (bookworm, trixie, ...)"
[ "$(id -u)" -eq 0 ] || die "debootstrap, chroot and mount need root; run it as root"
# The mount table escapes blanks and backslashes; with a plain path, what is
# mounted under the run's folder can be found by comparing text.
[[ $cache =~ ^[A-Za-z0-9/._+-]+$ ]] ||
    die "$cache: this script handles only paths of letters, digits and ./_+-"
for tool in debootstrap chroot unshare findmnt man git; do
    command -v "$tool" >/dev/null || die "$tool: command not found (make package-check installs what it needs)"
done

# Everything this run mounts lives in a mount namespace of its own, so that
# nothing shows in the host's mount table and a killed run leaves no mount.
# The process id survives the exec, which tells the second start from a
# namespace some caller made.
if [ "${QUADFIND_PACKAGE_CHECK_NS:-}" != "$$" ]; then
    exec unshare --mount --propagation private \
        /usr/bin/env QUADFIND_PACKAGE_CHECK_NS=$$ bash "$0" "$@"
fi

host_release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mkdir -p "$cache" || die "$cache: cannot create the folder (mkdir's reason above)"
work=$(mktemp -d "$cache/run.XXXXXX") || die "$cache: cannot create a temporary folder (mktemp's reason above)"
mkdir "$work/tmp" || die "$work/tmp: cannot create the folder"
# Host tools that want scratch space (man, debootstrap) use the run's folder,
# so that nothing is left in /tmp.
export TMPDIR=$work/tmp
roots=()
child=""

mounted_under() {   # prints the mount points below $1, deepest first
    findmnt -rn -o TARGET | awk -v p="$1/" 'index($0 "/", p) == 1' | sort -r
}

# Processes whose root is inside one of this run's roots were all started by
# this run; they are ended by their id.
end_processes_in() {
    local p r pids=()
    for p in /proc/[0-9]*; do
        r=$(readlink "$p/root" 2>/dev/null) || continue
        [[ $r == "$1" || $r == "$1"/* ]] && pids+=("${p#/proc/}")
    done
    [ ${#pids[@]} -eq 0 ] && return 0
    echo "package-check: ending processes left in $1: ${pids[*]}" >&2
    kill -TERM "${pids[@]}" 2>/dev/null; sleep 2; kill -KILL "${pids[@]}" 2>/dev/null
    return 0
}

unmount_all() {
    local t pass
    end_processes_in "$1"
    for pass in 1 2 3; do
        t=$(mounted_under "$1")
        [ -z "$t" ] && return 0
        while IFS= read -r t; do
            umount "$t" 2>/dev/null || umount -l "$t" || echo "package-check: $t: cannot unmount (umount's reason above)" >&2
        done <<<"$t"
    done
    [ -z "$(mounted_under "$1")" ]
}

# Removes a root only once nothing is mounted inside it; --one-file-system
# keeps rm out of anything mounted there all the same.
remove_root() {
    if ! unmount_all "$1"; then
        echo "package-check: $1: left in place, still mounted: $(mounted_under "$1" | tr '\n' ' ')" >&2
        return 1
    fi
    rm -rf --one-file-system "$1"
}

cleanup() {
    local rc=$? r
    trap '' INT TERM HUP
    if [ -n "$child" ] && kill -0 "$child" 2>/dev/null; then
        kill -TERM -- "-$child" 2>/dev/null; wait "$child" 2>/dev/null
    fi
    for r in "${roots[@]}"; do remove_root "$r" || rc=2; done
    if [ -z "$(mounted_under "$work")" ]; then
        rm -rf --one-file-system "$work"
    else
        echo "package-check: $work: left in place, something is still mounted inside" >&2; rc=2
    fi
    exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# Runs a command with its output in a log of the run; on failure the log's
# end is shown, since the run's folder goes away. It runs in the background,
# in a process group of its own, so that a signal reaches the trap at once
# rather than after a long apt run, and the trap can end the command with
# everything it started (debootstrap's downloads run outside the root).
logged() {
    local log=$work/$1 rc; shift
    set -m
    "$@" </dev/null >"$log" 2>&1 &
    child=$!
    set +m
    wait "$child"; rc=$?
    child=""
    if [ $rc -ne 0 ]; then
        echo "package-check: exit status $rc from: $*" >&2
        echo "----- last 40 lines of its output -----" >&2
        tail -n 40 "$log" >&2
        echo "-----" >&2
    fi
    return $rc
}

in_root() {   # in_root ROOT [VAR=value...] COMMAND...: a clean environment, as a login would have
    local r=$1; shift
    chroot "$r" "${clean_env[@]}" "$@"
}

extract_root() {   # extract_root NAME: a fresh copy of the cached root in the run's folder
    local r=$work/$1
    mkdir "$r" || die "$r: cannot create the folder"
    roots+=("$r")
    tar --numeric-owner --xattrs --xattrs-include='*' -C "$r" -xpf "$tarball" ||
        die "$tarball: cannot extract into $r (tar's reason above)"
}

# What apt inside a root needs: the host's name service, /proc, /dev with a
# pseudo-terminal instance of its own, a private /tmp, and no services
# started by maintainer scripts.
prepare_root() {
    local r=$1 d
    for d in proc dev tmp etc usr/sbin; do
        [ -d "$r/$d" ] && [ ! -L "$r/$d" ] || die "$r/$d: not a folder in the extracted root"
    done
    # The root's resolv.conf may be a link that would lead the copy out of the root.
    rm -f "$r/etc/resolv.conf" && cp -L /etc/resolv.conf "$r/etc/resolv.conf" ||
        die "$r/etc/resolv.conf: cannot copy /etc/resolv.conf there (the reason above)"
    rm -f "$r/usr/sbin/policy-rc.d" && printf '#!/bin/sh\nexit 101\n' >"$r/usr/sbin/policy-rc.d" &&
        chmod 755 "$r/usr/sbin/policy-rc.d" || die "$r/usr/sbin/policy-rc.d: cannot write it (the reason above)"
    mount -t proc proc "$r/proc" || die "$r/proc: cannot mount proc (mount's reason above)"
    mount --bind /dev "$r/dev" || die "$r/dev: cannot bind /dev (mount's reason above)"
    # Private, so that what is mounted below it never reaches the host's /dev.
    mount --make-private "$r/dev" || die "$r/dev: cannot make the mount private (mount's reason above)"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=620,gid=5 devpts "$r/dev/pts" ||
        die "$r/dev/pts: cannot mount devpts (mount's reason above)"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$r/dev/shm" || die "$r/dev/shm: cannot mount tmpfs (mount's reason above)"
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$r/tmp" || die "$r/tmp: cannot mount tmpfs (mount's reason above)"
}

make_tarball() {
    local r=$work/debootstrap t0
    mkdir "$r" || die "$r: cannot create the folder"
    roots+=("$r")
    echo "== $tarball is not there yet: debootstrap --variant=minbase $suite (downloads, a few minutes)"
    t0=$(now)
    logged debootstrap.log debootstrap --variant=minbase "$suite" "$r" "$mirror" ||
        die "debootstrap of $suite into $r failed (its output above)"
    unmount_all "$r" || die "$r: something is still mounted there after debootstrap"
    # Written whole in the run's folder first, so that an interrupted run
    # never leaves a cut tarball for the next to trust.
    tar --numeric-owner --xattrs --xattrs-include='*' -C "$r" -cf "$work/minbase.tar" . ||
        die "$work/minbase.tar: cannot write the tarball (tar's reason above)"
    mv "$work/minbase.tar" "$tarball" || die "$tarball: cannot move the tarball there (mv's reason above)"
    remove_root "$r" || die "$r: cannot remove the debootstrap folder"
    echo "   $(seconds "$t0" "$(now)") s, $(du -m "$tarball" | cut -f1) MiB"
}

copy_tree() {   # the files git knows or would add, as they are now; no build output
    local dest=$1
    mkdir "$dest" || die "$dest: cannot create the folder"
    git -C "$repo" ls-files -z --cached --others --exclude-standard |
        (cd "$repo" && while IFS= read -r -d '' f; do
            [[ $f == build/* ]] && continue
            # Files deleted in the working tree are still in the index.
            [ -e "$f" ] || [ -L "$f" ] || continue
            printf '%s\0' "$f"
        done) |
        tar -C "$repo" --null --no-recursion -T - -cf - |
        tar -C "$dest" -xf - ||
        die "cannot copy $repo's files into $dest (the reason above)"
}

# The CLI's answers for the sample, run in FOLDER so that the file name it
# prints is the same everywhere: stdout, stderr and status go to PREFIX.*.
cli_outputs() {   # cli_outputs PREFIX ROOT-OR-"" FOLDER CLI
    local prefix=$1 r=$2 dir=$3 cli=$4 mode args
    for mode in text json; do
        args=("$sample"); [ $mode = json ] && args=(--json "$sample")
        if [ -n "$r" ]; then
            in_root "$r" sh -c 'cd "$1" && shift && exec "$@"' sh "$dir" "$cli" "${args[@]}"
        else
            (cd "$dir" && "${clean_env[@]}" "$cli" "${args[@]}")
        fi >"$prefix.$mode.out" 2>"$prefix.$mode.err"
        echo $? >"$prefix.$mode.status"
    done
}

same_outputs() {   # same_outputs PREFIX-A PREFIX-B: says how they differ, if they do
    local a=$1 b=$2 mode
    for mode in text json; do
        [ "$(cat "$a.$mode.status")" = 0 ] || { echo "$mode: $(basename "$a") exited $(cat "$a.$mode.status"): $(head -c 300 "$a.$mode.err")"; return 1; }
        [ "$(cat "$b.$mode.status")" = 0 ] || { echo "$mode: $(basename "$b") exited $(cat "$b.$mode.status"): $(head -c 300 "$b.$mode.err")"; return 1; }
        [ -s "$a.$mode.out" ] || { echo "$mode: $(basename "$a") printed nothing"; return 1; }
        cmp -s "$a.$mode.out" "$b.$mode.out" ||
            { echo "$mode output differs:"; diff -u "$a.$mode.out" "$b.$mode.out" | head -n 20; return 1; }
        [ ! -s "$a.$mode.err" ] || { echo "$mode: $(basename "$a") wrote on stderr:"; head -n 20 "$a.$mode.err"; return 1; }
        [ ! -s "$b.$mode.err" ] || { echo "$mode: $(basename "$b") wrote on stderr:"; head -n 20 "$b.$mode.err"; return 1; }
    done
}

verdicts=()
failures=0
verdict() {   # verdict PASS|FAIL|NOTE TEXT [DETAIL]: shown now and again in the summary
    local line
    line=$(printf '%-4s  %s' "$1" "$2")
    [ -n "${3:-}" ] && line+=$'\n'$(printf '%s\n' "$3" | sed 's/^/      /')
    verdicts+=("$line")
    [ "$1" = FAIL ] && failures=$((failures + 1))
    printf '%s\n' "$line"
}

echo "== package check for Debian $suite (host: ${host_release:-unknown}); work folder $work"

if [ ! -f "$tarball" ]; then
    make_tarball
else
    echo "== minimal root: $tarball (cached)"
fi

# ---------------------------------------------------------------- the package
if [ "$suite" = "$host_release" ]; then
    debs=("$repo"/build/package/quadfind_*_amd64.deb)
    [ -f "${debs[0]}" ] || die "$repo/build/package/quadfind_*_amd64.deb: No such file (make package builds it)"
    [ ${#debs[@]} -eq 1 ] || die "$repo/build/package holds ${#debs[@]} packages, not one: ${debs[*]}"
    deb=${debs[0]}
    built_in="the host's build tree (make package)"
    reference_cli=$repo/build/package/cli/quadfind-cli
    [ -x "$reference_cli" ] || die "$reference_cli: No such executable (make package builds it)"
    cli_outputs "$work/reference" "" "$repo" "$reference_cli"
    reference_name="build/package/cli/quadfind-cli"
else
    broot=$work/build-root
    echo "== building the package in a $suite root (installs the build's packages there; several minutes)"
    t0=$(now)
    extract_root build-root
    prepare_root "$broot"
    copy_tree "$broot/src"
    logged build-apt.log in_root "$broot" DEBIAN_FRONTEND=noninteractive sh -c \
        'apt-get update && apt-get install -y --no-install-recommends make' ||
        die "cannot install make in the $suite build root (apt's output above)"
    logged build.log nice -n 10 chroot "$broot" "${clean_env[@]}" make -C /src package ||
        die "make package failed in the $suite build root (its output above)"
    build_time=$(seconds "$t0" "$(now)")
    debs=("$broot"/src/build/package/quadfind_*_amd64.deb)
    [ -f "${debs[0]}" ] && [ ${#debs[@]} -eq 1 ] ||
        die "$broot/src/build/package/quadfind_*_amd64.deb: not exactly one package after make package"
    deb=$work/$(basename "${debs[0]}")
    cp "${debs[0]}" "$deb" || die "$deb: cannot copy the package out of the build root (cp's reason above)"
    cli_outputs "$work/reference" "$broot" /src build/package/cli/quadfind-cli
    reference_name="the CLI built in the $suite root"
    built_in="a $suite root from the working tree"
    remove_root "$broot" || die "$broot: cannot remove the build root"
    echo "   built $(basename "$deb") in $build_time s (a fresh root, the build's packages, make package)"
fi
version=$(dpkg-deb -f "$deb" Version) || die "$deb: cannot read the package's version (dpkg-deb's reason above)"
echo "== package: $(basename "$deb"), version $version, from $built_in"

# ---------------------------------------------------------------- the install
iroot=$work/install-root
extract_root install-root
prepare_root "$iroot"
mkdir -p "$iroot/check/samples" && cp "$deb" "$iroot/check/" && cp "$repo/$sample" "$iroot/check/samples/" ||
    die "$iroot/check: cannot copy the package and the sample in (the reason above)"
echo "== apt-get update in a fresh $suite root"
t0=$(now)
logged apt-update.log in_root "$iroot" apt-get update || die "apt-get update failed in the $suite root (its output above)"
update_time=$(seconds "$t0" "$(now)")
in_root "$iroot" dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\n' | awk -F'\t' '$1 ~ /^ii/ { print $2 }' |
    sort >"$work/packages.before" ||
    die "$work/packages.before: cannot list the root's packages"
du_before=$(du -sxk "$iroot" | cut -f1)

echo "== apt-get install -y ./$(basename "$deb")"
t0=$(now)
logged apt-install.log in_root "$iroot" DEBIAN_FRONTEND=noninteractive sh -c 'cd /check && exec apt-get install -y "./$1"' sh "$(basename "$deb")"
install_status=$?
install_time=$(seconds "$t0" "$(now)")
apt_count=$(sed -n 's/.* \([0-9][0-9]*\) newly installed.*/\1/p' "$work/apt-install.log")
in_root "$iroot" dpkg-query -W -f='${Package}\t${Installed-Size}\t${db:Status-Abbrev}\n' >"$work/packages.after"
new_packages=$(awk -F'\t' '$3 ~ /^ii/ { print $1 }' "$work/packages.after" | sort | comm -13 "$work/packages.before" -)
new_count=$(grep -c . <<<"$new_packages")
installed_kib=$(awk -F'\t' 'NR == FNR { new[$1] = 1; next } ($1 in new) { s += $2 } END { print s + 0 }' \
    <(printf '%s\n' "$new_packages") "$work/packages.after")
archives_kib=$(du -sxk "$iroot/var/cache/apt/archives" | cut -f1)
du_after=$(du -sxk "$iroot" | cut -f1)
du_growth_kib=$((du_after - archives_kib - du_before))
if [ $install_status -eq 0 ] && in_root "$iroot" dpkg-query -W -f='${db:Status-Abbrev}' quadfind 2>/dev/null | grep -q '^ii'; then
    verdict PASS "apt-get install ./$(basename "$deb") (apt: ${apt_count:-?} newly installed)"
else
    verdict FAIL "apt-get install ./$(basename "$deb") (exit status $install_status)"
fi

# ---------------------------------------------------------------- the checks
if [ $install_status -eq 0 ]; then
    cli_outputs "$work/installed" "$iroot" /check quadfind-cli
    if why=$(same_outputs "$work/reference" "$work/installed"); then
        verdict PASS "installed quadfind-cli, text and --json: byte-identical to $reference_name"
    else
        verdict FAIL "installed quadfind-cli differs from $reference_name" "$why"
    fi
    # The everyday build tree is built apart from the package and may be
    # older than the working tree, so it is compared but not counted.
    if [ -x "$repo/build/default/cli/quadfind-cli" ]; then
        cli_outputs "$work/default" "" "$repo" "$repo/build/default/cli/quadfind-cli"
        if why=$(same_outputs "$work/default" "$work/installed"); then
            verdict NOTE "build/default/cli/quadfind-cli prints the same (not counted)"
        else
            verdict NOTE "build/default/cli/quadfind-cli prints something else (not counted: it may be older than the tree)" "$why"
        fi
    else
        verdict NOTE "no build/default/cli/quadfind-cli to compare with (not counted)"
    fi

    for program in quadfind quadfind-cli; do
        printed=$(in_root "$iroot" "$program" --version 2>"$work/version.err"); status=$?
        if [ $status -eq 0 ] && grep -qF -- "$version" <<<"$printed" && [ ! -s "$work/version.err" ]; then
            verdict PASS "$program --version: $printed"
        else
            verdict FAIL "$program --version: exit status $status, printed '$printed', expected $version in it" \
                "$( [ -s "$work/version.err" ] && echo "stderr: $(cat "$work/version.err")")"
        fi
    done

    # A desktop session has a private runtime folder and a UTF-8 locale; a
    # bare root has neither, and Qt says so on stderr (from 6.5 on, a C
    # locale costs four lines). What it says there is shown; the checked run
    # has both, as a session would.
    in_root "$iroot" QT_QPA_PLATFORM=offscreen sh -c \
        'cd /check && exec timeout --preserve-status -k 10 -s TERM 3 quadfind "$1"' sh "$sample" \
        >/dev/null 2>"$work/window-bare.err"
    status=$?
    if [ -s "$work/window-bare.err" ]; then
        verdict NOTE "without XDG_RUNTIME_DIR and LANG the window says on stderr (exit status $status):" "$(cat "$work/window-bare.err")"
    else
        verdict NOTE "without XDG_RUNTIME_DIR and LANG the window says nothing on stderr (exit status $status)"
    fi
    in_root "$iroot" sh -c 'rm -rf /tmp/runtime-root; install -d -m 700 /tmp/runtime-check'
    in_root "$iroot" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime-check LANG=C.UTF-8 sh -c \
        'cd /check && exec timeout --preserve-status -k 10 -s TERM 3 quadfind "$1"' sh "$sample" \
        >"$work/window.out" 2>"$work/window.err"
    status=$?
    if [ $status -eq 0 ] && [ ! -s "$work/window.err" ]; then
        verdict PASS "quadfind $sample offscreen (LANG=C.UTF-8, XDG_RUNTIME_DIR set), ended by SIGTERM after 3 s: exit status 0, stderr empty"
    else
        why=$( [ $status -eq 143 ] && echo "status 143: it died of SIGTERM instead of quitting"
               [ -s "$work/window.err" ] && { echo "stderr:"; cat "$work/window.err"; } )
        verdict FAIL "quadfind $sample offscreen (LANG=C.UTF-8, XDG_RUNTIME_DIR set), ended by SIGTERM after 3 s: exit status $status$( [ -s "$work/window.err" ] && echo ", stderr not empty")" "$why"
    fi

    # man-db is not part of a minimal root and is not installed by hand, so
    # the host's man formats the installed pages; that reads the very files
    # the package put there.
    for program in quadfind quadfind-cli; do
        page=$iroot/usr/share/man/man1/$program.1.gz
        if [ ! -f "$page" ]; then
            verdict FAIL "man page $program(1): /usr/share/man/man1/$program.1.gz: No such file in the root"
            continue
        fi
        LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >"$work/man.out" 2>"$work/man.err"; status=$?
        if [ $status -eq 0 ] && [ ! -s "$work/man.err" ] && grep -q "^NAME" "$work/man.out" &&
            grep -q "$program" "$work/man.out"; then
            verdict PASS "man -l $program.1.gz --warnings: no warnings, $(wc -l <"$work/man.out") lines"
        else
            verdict FAIL "man -l $program.1.gz --warnings: exit status $status" "$(head -n 20 "$work/man.err")"
        fi
    done

    in_root "$iroot" dpkg-query -L quadfind >"$work/quadfind.list" ||
        die "$work/quadfind.list: cannot list the package's files (dpkg-query's reason above)"
    logged dpkg-remove.log in_root "$iroot" dpkg -r quadfind
    remove_status=$?
    # A path the package listed may stay only as a folder another package owns.
    left=$(in_root "$iroot" sh -c 'while IFS= read -r p; do
            [ "$p" = /. ] && continue
            [ -e "$p" ] || [ -L "$p" ] || continue
            if [ -d "$p" ] && [ ! -L "$p" ] && dpkg-query -S "$p" >/dev/null 2>&1; then continue; fi
            if [ -d "$p" ] && [ ! -L "$p" ]; then
                echo "$p (a folder no package owns, holding: $(ls -A "$p" | tr "\n" " "))"
            else echo "$p"; fi
        done' <"$work/quadfind.list")
    named=$(in_root "$iroot" find /usr -name '*quadfind*')
    listed=$(grep -vcx '/\.' "$work/quadfind.list")
    if [ $remove_status -eq 0 ] && [ -z "$left" ] && [ -z "$named" ]; then
        verdict PASS "dpkg -r quadfind: none of the $listed listed paths left but folders other packages own; nothing named *quadfind* under /usr"
    else
        verdict FAIL "dpkg -r quadfind (exit status $remove_status) left things behind" \
            "$( [ -n "$left" ] && { echo "listed paths still there:"; echo "$left"; }
                [ -n "$named" ] && { echo "named *quadfind* under /usr:"; echo "$named"; }
                grep -i warning "$work/dpkg-remove.log")"
    fi
fi

# ---------------------------------------------------------------- the summary
mib() { awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }'; }
echo
echo "===== package check: Debian $suite ====="
echo "package:    $(basename "$deb") (version $version), built in $built_in"
echo "installed:  ${apt_count:-?} packages (apt's \"newly installed\"; dpkg lists $new_count new, quadfind included)"
echo "size:       $(mib "$installed_kib") (sum of the new packages' Installed-Size); the root grew $(mib "$du_growth_kib") (du, apt's downloaded archives left out)"
echo "times:      ${build_time:+building the package in a $suite root $build_time s, }apt-get update $update_time s, apt-get install $install_time s, whole check $(seconds "$started" "$(now)") s"
printf '%s\n' "${verdicts[@]}"
if [ $failures -eq 0 ]; then
    echo "RESULT: all checks passed"
else
    echo "RESULT: $failures check(s) failed"
    exit 1
fi
