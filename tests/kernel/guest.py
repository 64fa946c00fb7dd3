#!/usr/bin/python3
# Makes the guest that the kernel lane boots: Debian's own kernel, the newest
# ABI the package lists name (never a fixed number, since the mirror keeps
# only the current ones), fetched with apt-get download, its vmlinux taken out
# of the compressed image (QEMU boots an ELF vmlinux through PVH, much faster
# than the bzImage under TCG), and a small initramfs: busybox-static, /init,
# and the modules the guest needs, in an order that loads each after the
# modules it depends on.
#
#   guest.py CACHE_DIR
#
# Leaves CACHE_DIR/vmlinux, CACHE_DIR/initramfs.cpio and CACHE_DIR/release
# (the kernel's release string) and prints the release. A kernel already
# made for the newest ABI is reused.
import gzip
import lzma
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

# What the guest loads at boot: the root over virtio-9p with an overlay, a
# USB host controller and device controller in software (dummy_hcd), the
# gadget framework with FunctionFS, and the kernel's own FTDI driver.
WANTED = ["virtio_pci", "9pnet_virtio", "9p", "overlay",
          "dummy_hcd", "libcomposite", "usb_f_fs", "ftdi_sio"]
HERE = os.path.dirname(os.path.abspath(__file__))
BUSYBOX = "/bin/busybox"
# The generic flavour's ABI: 6.1.0-58 on Debian 12, 6.12.48+deb13 on Debian 13.
PACKAGE = re.compile(r"^linux-image-(\d+\.\d+[.\d]*(?:-\d+|\+deb\d+))-amd64-unsigned$")


def run(args, **kw):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE, text=True, **kw).stdout


def version_key(abi):
    return [int(n) for n in re.findall(r"\d+", abi)]


def apt_update():
    print("guest: refreshing the package lists", file=sys.stderr)
    if subprocess.run(["apt-get", "-o", "DPkg::Lock::Timeout=600", "update", "-qq"]).returncode != 0:
        sys.exit("guest: apt-get update failed (it needs root)")


def newest_package():
    """The newest amd64 kernel ABI in the package lists, as a package name."""
    for attempt in range(2):
        names = run(["apt-cache", "search", "--names-only",
                     "^linux-image-[0-9].*-amd64-unsigned$"]).split()
        abis = [m.group(1) for m in (PACKAGE.match(n) for n in names) if m]
        if abis:
            return "linux-image-%s-amd64-unsigned" % max(abis, key=version_key)
        if attempt == 0:
            apt_update()  # no lists yet: a root where nothing was installed
    sys.exit("guest: no linux-image-*-amd64-unsigned in the package lists")


def download(package, folder):
    """The package's .deb in `folder`, fetched once."""
    for name in os.listdir(folder):
        if name.startswith(package + "_") and name.endswith(".deb"):
            return os.path.join(folder, name)
    command = ["apt-get", "-o", "APT::Sandbox::User=root", "download", "-q", package]
    if subprocess.run(command, cwd=folder, stdout=sys.stderr).returncode != 0:
        apt_update()  # lists older than the mirror: the file moved on
        if subprocess.run(command, cwd=folder, stdout=sys.stderr).returncode != 0:
            sys.exit("guest: cannot download " + package)
    return download(package, folder)


def decompress_vmlinux(vmlinuz):
    """The ELF inside a bzImage: the first compressed stream that unpacks to one."""
    data = open(vmlinuz, "rb").read()
    openers = [(b"\xfd7zXZ\x00", lambda b: lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(b)),
               (b"\x1f\x8b\x08", lambda b: gzip.GzipFile(fileobj=_Bytes(b)).read()),
               (b"\x28\xb5\x2f\xfd", _unzstd)]
    for magic, unpack in openers:
        at = data.find(magic)
        while at >= 0:
            try:
                elf = unpack(data[at:])
                if elf[:4] == b"\x7fELF":
                    return elf
            except Exception:
                pass
            at = data.find(magic, at + 1)
    sys.exit("guest: no vmlinux found in " + vmlinuz)


class _Bytes:
    """A file over bytes that tolerates trailing data after a gzip stream."""
    def __init__(self, data):
        self.data, self.at = data, 0

    def read(self, n=-1):
        chunk = self.data[self.at:] if n < 0 else self.data[self.at:self.at + n]
        self.at += len(chunk)
        return chunk


def _unzstd(data):
    # Leaves the trailing data after the frame alone, with a complaint we need not see.
    return subprocess.run(["zstd", "-dc"], input=data, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL).stdout


def module_bytes(path):
    data = open(path, "rb").read()
    if path.endswith(".xz"):
        return lzma.decompress(data)
    if path.endswith(".gz"):
        return gzip.decompress(data)
    if path.endswith(".zst"):
        return _unzstd(data)
    return data


def modinfo(elf):
    """The key=value pairs of a module's .modinfo section."""
    shoff, = struct.unpack_from("<Q", elf, 0x28)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", elf, 0x3A)

    def section(i):
        name, _, _, _, offset, size = struct.unpack_from("<IIQQQQ", elf, shoff + i * shentsize)
        return name, offset, size
    _, stroff, _ = section(shstrndx)
    for i in range(shnum):
        name, offset, size = section(i)
        if elf[stroff + name:elf.index(b"\0", stroff + name)] == b".modinfo":
            pairs = [p.split(b"=", 1) for p in elf[offset:offset + size].split(b"\0") if b"=" in p]
            return {k.decode(): v.decode() for k, v in pairs}
    return {}


def load_order(tree):
    """The wanted modules and everything they depend on, dependencies first."""
    files = {}
    for folder, _, names in os.walk(tree):
        for name in names:
            m = re.match(r"^(.*)\.ko(\.xz|\.gz|\.zst)?$", name)
            if m:
                files[m.group(1).replace("-", "_")] = os.path.join(folder, name)
    # Built into the kernel: nothing to load (virtio_pci on Debian 13).
    builtin = os.path.join(tree, "modules.builtin")
    seen = {os.path.basename(line.strip()).split(".ko")[0].replace("-", "_")
            for line in (open(builtin) if os.path.exists(builtin) else [])}
    order = []

    def visit(name):
        if name in seen:
            return
        seen.add(name)
        if name not in files:
            sys.exit("guest: module %s not in the kernel package" % name)
        elf = module_bytes(files[name])
        for dep in filter(None, modinfo(elf).get("depends", "").split(",")):
            visit(dep.replace("-", "_"))
        order.append((name, elf))
    for name in WANTED:
        visit(name)
    return order


def cpio(entries):
    """An uncompressed newc archive of (name, mode, data) entries."""
    out = bytearray()
    for ino, (name, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], 1):
        encoded = name.encode() + b"\0"
        out += b"070701" + b"".join(b"%08X" % v for v in (
            ino, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(encoded), 0))
        out += encoded + b"\0" * (-(110 + len(encoded)) % 4)
        out += data + b"\0" * (-len(data) % 4)
    return bytes(out)


def initramfs(order):
    entries = [(d, 0o40755, b"") for d in ("bin", "dev", "proc", "sys", "modules", "lower",
                                            "upper", "root", "out")]
    entries.append(("bin/busybox", 0o100755, open(BUSYBOX, "rb").read()))
    entries.append(("init", 0o100755, open(os.path.join(HERE, "guest-init.sh"), "rb").read()))
    for i, (name, elf) in enumerate(order, 1):
        entries.append(("modules/%02d-%s.ko" % (i, name), 0o100644, elf))
    return cpio(entries)


def main():
    cache = os.path.abspath(sys.argv[1])
    os.makedirs(cache, exist_ok=True)
    package = newest_package()
    stamp = os.path.join(cache, "package")
    made = [os.path.join(cache, f) for f in ("vmlinux", "initramfs.cpio", "release")]
    sources = [os.path.join(HERE, f) for f in ("guest-init.sh", "guest.py")]
    if (os.path.exists(stamp) and open(stamp).read() == package and all(map(os.path.exists, made))
            and os.path.getmtime(made[1]) >= max(map(os.path.getmtime, sources))):
        print(open(made[2]).read())
        return
    for name in os.listdir(cache):  # an older kernel's files
        if name.endswith(".deb") and not name.startswith(package + "_"):
            os.remove(os.path.join(cache, name))
    deb = download(package, cache)
    with tempfile.TemporaryDirectory(dir=cache) as tree:
        run(["dpkg-deb", "-x", deb, tree])
        boot = os.path.join(tree, "boot")
        vmlinuz = [f for f in os.listdir(boot) if f.startswith("vmlinuz-")][0]
        release = vmlinuz[len("vmlinuz-"):]
        with open(made[0] + ".new", "wb") as f:
            f.write(decompress_vmlinux(os.path.join(boot, vmlinuz)))
        modules = [os.path.join(tree, d, "modules", release) for d in ("lib", "usr/lib")]
        order = load_order(next(filter(os.path.isdir, modules)))
        with open(made[1] + ".new", "wb") as f:
            f.write(initramfs(order))
    os.replace(made[0] + ".new", made[0])
    os.replace(made[1] + ".new", made[1])
    with open(made[2], "w") as f:
        f.write(release)
    with open(stamp, "w") as f:
        f.write(package)
    print(release)


if __name__ == "__main__":
    main()
