#!/bin/sh
# Runs the README's GNU parallel recipe, as printed there, over real ssh: an
# sshd of its own on 127.0.0.1 stands for host1 and host2, each login with a
# home of its own, so the pictures must really go out (--transferfile) and
# the overlays really come back (--return). The joined JSON Lines and every
# overlay must equal one serial run, and --cleanup must leave both homes
# empty. Everything lives in one temporary folder: parallel's cache and
# ssh's keys and known hosts included, so ~/.ssh and ~/.parallel stay as
# they were.
# usage: parallel_ssh.sh QUADFIND_CLI SAMPLE_BMP README
set -eu
skip() { echo "SKIPPED: $*"; exit 77; }
for tool in parallel ssh ssh-keygen rsync; do
    command -v "$tool" > /dev/null || skip "$tool is not installed"
done
[ -x /usr/sbin/sshd ] || skip "/usr/sbin/sshd: not installed (Debian package openssh-server)"
cli=$(realpath "$1")
sample=$(realpath "$2")
readme=$(realpath "$3")
work=$(mktemp -d)
sshd_pid=
made_run_sshd=
cleanup() {
    [ -z "$sshd_pid" ] || { kill "$sshd_pid" 2> /dev/null; wait "$sshd_pid" || true; }
    rm -rf "$work"
    [ -z "$made_run_sshd" ] || rmdir /run/sshd
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
cd "$work"
mkdir -m 700 bin machines machines/host1 machines/host2
ln -s "$cli" bin/quadfind-cli

ssh-keygen -q -t ed25519 -N '' -C quadfind-test -f host_key
ssh-keygen -q -t ed25519 -N '' -C quadfind-test -f client_key
cp client_key.pub authorized_keys
# The logins' command runs in the machine's own home, found by the name the
# client sends, with the CLI on its PATH as if it were installed there. The
# login shell's HOME is set before it starts, so that it reads no ~/.bashrc
# of this user's.
cat > sshd_config << EOF
ListenAddress 127.0.0.1
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PidFile $work/sshd.pid
AllowUsers $(id -un)
PermitRootLogin prohibit-password
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PrintMotd no
MaxStartups 100
AcceptEnv QUADFIND_MACHINE
SetEnv HOME=$work/machines
ForceCommand cd "$work/machines/\${QUADFIND_MACHINE:?}" && HOME=\$PWD TMPDIR=\$PWD PATH="$work/bin:\$PATH" && printf '%s\\n' "\$SSH_ORIGINAL_COMMAND" >> ../"\$QUADFIND_MACHINE".log && eval "\$SSH_ORIGINAL_COMMAND"
EOF

# Root's sshd refuses to start without its privilege separation folder,
# /run/sshd, which only the system's ssh service makes. Where it is missing,
# this sshd gets a /run of its own in a private mount namespace, so that
# nothing outside the test changes; where that cannot be had (a chroot, a
# container without the right), /run/sshd is made for the run and removed
# after.
set -- /usr/sbin/sshd -D -e -f "$work/sshd_config"
if [ "$(id -u)" -eq 0 ] && [ ! -d /run/sshd ]; then
    if unshare --mount --propagation private true 2> /dev/null; then
        mkdir -p -m 755 run/sshd
        set -- unshare --mount --propagation private sh -c 'mount --bind "$0" /run && exec "$@"' "$work/run" "$@"
    else
        mkdir -m 755 /run/sshd 2> sshd.log ||
            skip "sshd cannot start: root's sshd needs /run/sshd, which cannot be made: $(cat sshd.log)"
        made_run_sshd=yes
    fi
fi
for try in 1 2 3 4 5; do
    port=$(shuf -i 20000-60999 -n 1)
    : > sshd.log
    "$@" -p "$port" 2>> sshd.log &
    sshd_pid=$!
    while kill -0 "$sshd_pid" 2> /dev/null && ! grep -q "Server listening on 127.0.0.1 port $port" sshd.log; do
        sleep 0.1
    done
    kill -0 "$sshd_pid" 2> /dev/null && break
    wait "$sshd_pid" || true
    sshd_pid=
    grep -qi 'bad configuration' sshd.log && { cat sshd.log; echo "sshd_config refused"; exit 1; }
    grep -q 'Address already in use' sshd.log || skip "sshd cannot start: $(cat sshd.log)"
done
[ -n "$sshd_pid" ] || skip "sshd found no free port in 5 tries: $(cat sshd.log)"

printf '[127.0.0.1]:%s %s\n' "$port" "$(cut -d' ' -f1,2 host_key.pub)" > known_hosts
for machine in host1 host2; do
    cat << EOF
Host $machine
    HostName 127.0.0.1
    SetEnv QUADFIND_MACHINE=$machine
EOF
done > ssh_config
cat >> ssh_config << EOF
Host *
    Port $port
    User $(id -un)
    IdentityFile $work/client_key
    IdentitiesOnly yes
    UserKnownHostsFile $work/known_hosts
    GlobalKnownHostsFile /dev/null
    StrictHostKeyChecking yes
    BatchMode yes
EOF
printf '#!/bin/sh\nexec ssh -F "%s/ssh_config" "$@"\n' "$work" > ssh
chmod +x ssh

mkdir photos
cp "$sample" "photos/p 0.bmp"
# Pictures that differ: the sample, its edge map and the edge map's own.
# Every name has a space, so that whichever login gets a part, its names
# must survive the trips through ssh and rsync both ways.
"$cli" --overlay "photos/p 1.bmp" "photos/p 0.bmp" > /dev/null
"$cli" --overlay "photos/p 2.bmp" "photos/p 1.bmp" > /dev/null
for i in $(seq 3 22); do cp "photos/p $((i % 3)).bmp" "photos/p $i.bmp"; done
cp "photos/p 1.bmp" "photos/it's \$HOME.bmp"
cp "photos/p 2.bmp" "photos/v 1.2.bmp"
find photos -maxdepth 1 -name '*.bmp' -print0 | sort -z > all.list

# The recipe as the README prints it, but for parts of two pictures instead
# of 500: 25 pictures make 13 parts, so that every login gets some, and the
# last part, of one picture, still gets a folder of overlays.
recipe=$(awk '/^With GNU parallel/ {p = 1} p == 2 && /^```$/ {exit} p == 2 {print} p == 1 && /^```sh$/ {p = 2}' "$readme")
case $recipe in *"-N 500 "*"--sshlogin 2/host1,2/host2,:"*) ;; *)
    echo "$readme: no GNU parallel recipe with -N 500 over 2/host1,2/host2,: found"; exit 1;; esac
cat > recipe.sh << EOF
$(printf '%s\n' "$recipe" | sed 's/-N 500 /-N 2 /')
EOF
[ "$(tr -cd '\0' < all.list | wc -c)" -eq 25 ] || { echo "not 25 pictures"; exit 1; }
# Parallel keeps its cache and finds its options in PARALLEL_HOME.
env PARALLEL_HOME="$work/parallel" PARALLEL_SSH="$work/ssh" TMPDIR="$work" PATH="$work/bin:$PATH" \
    sh -eu recipe.sh || { echo "the recipe failed; sshd said:"; cat sshd.log; exit 1; }

"$cli" --jobs 1 --json --overlay serial/ -0 --files-from all.list > serial.jsonl
cmp serial.jsonl results.jsonl
for machine in host1 host2; do
    left=$(find "machines/$machine" -mindepth 1)
    [ -z "$left" ] || { echo "--cleanup left on $machine: $left"; exit 1; }
    grep -q 'rsync --server --sender' "machines/$machine.log" ||
        { echo "$machine sent no overlay back"; exit 1; }
done
returned=0
for overlay in serial/*; do
    set -- overlays.*/"${overlay#serial/}"
    [ $# -eq 1 ] && [ -f "$1" ] || { echo "not one overlay ${overlay#serial/} returned: $*"; exit 1; }
    cmp "$overlay" "$1"
    returned=$((returned + 1))
done
[ "$returned" -eq 25 ] && [ "$(find overlays.* -type f | wc -l)" -eq 25 ] ||
    { echo "not 25 overlays returned"; exit 1; }
