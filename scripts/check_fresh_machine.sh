#!/usr/bin/env bash
# Runs the README's test command (or another command) from a clean clone in a Debian 12 that
# never had the project: a minimal system made by debootstrap in a folder of its own. A package
# the tests need but scripts/setup.sh does not install fails here, not on the next new machine.
#   sudo scripts/check_fresh_machine.sh [FOLDER] [COMMAND]   (default: /var/tmp/parchwipe-fresh, ./test.sh)
# Needs root, debootstrap and Debian's package mirror. The folder is made anew each time.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${1:-/var/tmp/parchwipe-fresh}
command=${2:-./test.sh}
mirror=http://deb.debian.org/debian
security=http://deb.debian.org/debian-security

unmount_all() {
    for mounted in dev/pts dev sys proc; do
        umount "$root/$mounted" 2>/dev/null || true
    done
}
trap unmount_all EXIT

unmount_all
rm -rf "$root"
debootstrap --variant=minbase bookworm "$root" "$mirror"
printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s bookworm-security main\n' \
    "$mirror" "$mirror" "$security" >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for mounted in proc sys dev dev/pts; do
    mount --bind "/$mounted" "$root/$mounted"
done
git clone --quiet . "$root/root/parchwipe"
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/parchwipe && $command"
