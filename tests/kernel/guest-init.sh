#!/bin/busybox sh
# The guest's /init: loads the modules in the order the initramfs names them
# (each after those it depends on), mounts the host's root read-only over
# virtio-9p with a tmpfs overlay, so the guest runs the host's own programs and
# nothing is installed in it, mounts the host's work folder (tag "out")
# writable, and runs the command that guest.run= names on the kernel command
# line there. Its exit status goes to /run/guest-out/status, then the guest powers off.
/bin/busybox --install -s /bin
export PATH=/bin
fail() { echo "guest-init: $*"; echo o >/proc/sysrq-trigger; sleep 10; }
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev

for module in /modules/*.ko; do
    case $module in
        # The FT232R is a full-speed device: a full-speed bus, as behind a
        # USB 1.1 port or a hub's transaction translator.
        *-dummy_hcd.ko) insmod "$module" is_high_speed=0 ;;
        *) insmod "$module" ;;
    esac || fail "cannot load $module"
done

p9="trans=virtio,version=9p2000.L,msize=512000"
mount -t 9p -o "$p9,ro,cache=loose" root /lower || fail "cannot mount the host's root"
mount -t tmpfs -o mode=0755 tmpfs /upper && mkdir /upper/data /upper/work &&
    mount -t overlay -o lowerdir=/lower,upperdir=/upper/data,workdir=/upper/work overlay /root ||
    fail "cannot lay the overlay"
for fs in "proc /proc" "sysfs /sys" "configfs /sys/kernel/config" "devtmpfs /dev" \
          "devpts /dev/pts" "tmpfs /dev/shm" "tmpfs /tmp" "tmpfs /run"; do
    set -- $fs
    mkdir -p "/root$2" && mount -t "$1" "$1" "/root$2" || fail "cannot mount $2"
done
chmod 1777 /root/tmp /root/dev/shm
# What udev would add to /dev, for bash's process substitution and the like.
ln -s /proc/self/fd /root/dev/fd
ln -s fd/0 /root/dev/stdin && ln -s fd/1 /root/dev/stdout && ln -s fd/2 /root/dev/stderr
mkdir /root/run/guest-out && mount -t 9p -o "$p9,cache=none" out /root/run/guest-out ||
    fail "cannot mount the host's work folder"

run=$(sed -n 's/.*guest\.run=\([^ ]*\).*/\1/p' /proc/cmdline)
exec switch_root /root /bin/sh -c '
    cd / && "$0" </dev/null
    echo $? >/run/guest-out/status
    sync
    echo o >/proc/sysrq-trigger
    sleep 10' "$run"
