#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Makes the archives the extraction tests unpack.

make_payloads.py OUT_DIR STUB

- tree/: a folder with nested and empty folders, Unicode names, a read-only
  file and set times; method-*.7z: that folder packed by 7zz with each coding
  method the stub registers.
- crafted-*.7z: archives written byte by byte (tests/tools/seven_zip_writer.py), for what 7zz
  will not produce: unsafe paths, device names, items without a path, chosen
  attributes, anti-items. The 7z format separates path elements with "/";
  archives made on Windows by other tools may hold "\" instead.
- encrypted.7z: one item encrypted with a password.
- blocks/, method-lzma2-blocks.7z: larger files in one LZMA2 stream of many
  blocks.
- signed.exe: the stub with tree.7z appended, signed with a self-signed test
  certificate; cert.pem verifies it.
"""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from seven_zip_writer import T1, seven_zip  # noqa: E402

out, stub = sys.argv[1], sys.argv[2]
shutil.rmtree(out, ignore_errors=True)
os.makedirs(out)

# 2010-01-01 00:00:00 UTC, beside the writer's T1.
T2 = 1262304000


# --- the tree and the 7zz archives -------------------------------------------
tree = os.path.join(out, "tree")
files = {
    "readme.txt": b"hello\r\n",
    "bin/app.exe": bytes(range(256)) * 40 + b"\xe8\x00\x10\x00\x00" * 200,
    "bin/lib/\u00e4\u00f6\u00fc-\u4e2d\u6587.dll": os.urandom(3000),
    "docs/empty.txt": b"",
    "docs/deep/er/still.txt": b"x" * 5000,
    "readonly.cfg": b"do not touch",
}
for path, data in files.items():
    full = os.path.join(tree, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "wb") as f:
        f.write(data)
os.makedirs(os.path.join(tree, "empty/inner"))
for root, dirs, names in os.walk(tree, topdown=False):
    for n in names:
        os.utime(os.path.join(root, n), (T1, T1))
    os.utime(root, (T2, T2))
os.chmod(os.path.join(tree, "readonly.cfg"), 0o444)

methods = {
    "lzma": ["-m0=LZMA"],
    "lzma2": ["-m0=LZMA2"],
    "ppmd": ["-m0=PPMd"],
    "bcj": ["-mf=BCJ"],
    "bcj2": ["-mf=BCJ2"],
    "arm64": ["-mf=ARM64"],
    "riscv": ["-mf=RISCV"],
    "delta": ["-mf=Delta:4"],
    "copy": ["-m0=Copy"],
    "solid": ["-ms=on"],
    "nonsolid": ["-ms=off"],
}
for name, switches in methods.items():
    subprocess.run(["7zz", "a", "-bd", "-bso0", "-mtm=on", "-mtc=off", "-mta=off",
                    *switches, os.path.join(out, f"method-{name}.7z"), "."],
                   cwd=tree, check=True)
subprocess.run(["7zz", "a", "-bd", "-bso0", "-psecret", os.path.join(out, "encrypted.7z"), "readme.txt"],
               cwd=tree, check=True)

# One solid LZMA2 stream of many 1 MiB blocks across several files: a
# multi-threaded decoder would unpack such blocks side by side.
blocks = os.path.join(out, "blocks")
os.makedirs(blocks)
for i in range(6):
    with open(os.path.join(blocks, f"part{i}.bin"), "wb") as f:
        f.write(b"".join(b"%08d %s\n" % (n, os.urandom(8).hex().encode()) for n in range(24000)))
subprocess.run(["7zz", "a", "-bd", "-bso0", "-ms=on", "-mmt=2", "-m0=LZMA2:d=1m:c=1m",
                os.path.join(out, "method-lzma2-blocks.7z"), "."], cwd=blocks, check=True)


# The example product as an installer package, once as it is and once with a
# launch condition that is never met: msiexec installs the first (exit 0) and
# refuses the second (exit 1603).
product = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "product")
for name, refuse in (("install", "no"), ("refused", "yes")):
    folder = os.path.join(out, f"msi-{name}")
    os.makedirs(folder)
    subprocess.run(["wixl", "-D", f"Refuse={refuse}", "-o", os.path.join(folder, "product.msi"), "product.wxs"],
                   cwd=product, check=True)
    subprocess.run(["7zz", "a", "-bd", "-bso0", os.path.join(out, f"msi-{name}.7z"), "product.msi"],
                   cwd=folder, check=True)


# --- crafted archives ---------------------------------------------------------
def crafted(name, items, names=True, crcs=True, declared=None):
    """items: dicts with path, data (None: directory), attr, mtime, anti."""
    with open(os.path.join(out, f"crafted-{name}.7z"), "wb") as f:
        f.write(seven_zip(items, names, crcs, declared))


RO, HIDDEN, SYSTEM, DIR, ARCHIVE = 0x01, 0x02, 0x04, 0x10, 0x20
crafted("attributes", [
    {"path": "plain.txt", "data": b"plain", "attr": ARCHIVE, "mtime": T1},
    {"path": "hidden.txt", "data": b"hidden", "attr": HIDDEN | ARCHIVE, "mtime": T2},
    {"path": "readonly.txt", "data": b"ro", "attr": RO, "mtime": T1},
    {"path": "sub/unix.txt", "data": b"unix", "attr": 0x8000 | (0o100644 << 16) | ARCHIVE, "mtime": T1},
    {"path": "sub/dir", "data": None, "attr": DIR | HIDDEN, "mtime": T2},
    {"path": "sub", "data": None, "attr": DIR, "mtime": T2},
    {"path": "slash/a/b.txt", "data": b"slashes", "attr": ARCHIVE},
    {"path": "back\\a\\b.txt", "data": b"backslashes", "attr": ARCHIVE},
    {"path": "zero.txt", "data": b"", "attr": ARCHIVE},
])
# A payload folder and file marked as system files, as some products ship.
crafted("system", [
    {"path": "sys/deep/payload.sys", "data": b"sys", "attr": SYSTEM | HIDDEN | RO},
    {"path": "sys", "data": None, "attr": DIR | SYSTEM | RO},
    {"path": "plain.txt", "data": b"plain", "attr": ARCHIVE},
])
crafted("readonly", [{"path": "readonly.txt", "data": b"new content", "attr": ARCHIVE}])
crafted("nopath", [{"path": "", "data": b"nameless", "attr": ARCHIVE}], names=False)
crafted("anti", [
    {"path": "gone.txt", "data": b"", "anti": True},
    {"path": "gonedir", "data": None, "attr": DIR, "anti": True},
    {"path": "kept.txt", "data": b"kept", "attr": ARCHIVE},
])
crafted("folder-at-file", [{"path": "taken", "data": b"file where a folder is"}])
crafted("file-at-folder", [
    {"path": "empty", "data": None, "attr": DIR | HIDDEN, "mtime": T2},
    {"path": "empty/inner", "data": None, "attr": DIR, "mtime": T2},
])
unsafe = {
    "parent": "../x",
    "parent-nested": "a/../../x",
    "drive": "C:\\x",
    "unc": "//server/share/x",
    "stream": "x:stream",
    "rooted": "/x",
    # A stored backslash separates folders as "/" does.
    "parent-backslash": "..\\x",
    "parent-nested-backslash": "a\\..\\..\\x",
    "rooted-backslash": "\\x",
    # Windows would open these as devices: the data would be lost or sent to
    # a port.
    "device": "docs/NUL.txt",
    "device-folder": "Com1 /x",
    # "." is the target folder itself; Windows drops trailing dots and
    # spaces from plain paths; it forbids these characters in names; and the
    # archive library reports no name this long.
    "dot": "./x",
    "trailing": "conf.ini. ",
    "forbidden": "a?b",
    "long": "a" * 16383,
}
for name, path in unsafe.items():
    # A harmless item first: an unsafe payload must leave no trace at all.
    crafted(f"unsafe-{name}", [{"path": "first.txt", "data": b"first"},
                               {"path": path, "data": b"escaped"}])

# Payloads the stub could not unpack as the packer promises.
# 100 GiB claimed for 16 bytes: more than --verify decodes.
crafted("declares-much", [{"path": "much.bin", "data": b"0123456789abcdef"}], declared=100 << 30)
crafted("nocrc", [{"path": "x.txt", "data": b"unchecked", "attr": ARCHIVE}], crcs=False)
crafted("file-then-folder", [{"path": "a", "data": b"file"}, {"path": "a/b", "data": b"below"}])
crafted("case", [{"path": "Readme.txt", "data": b"one"}, {"path": "README.TXT", "data": b"two"}])
crafted("symlink", [{"path": "link", "data": b"/etc/passwd", "attr": 0x8000 | (0o120777 << 16)}])

# Items that meet links planted in the target folder, a file larger than a
# small disk, and a tree deeper than plain paths reach.
crafted("link-file-below", [{"path": "sub/x.txt", "data": b"escaped", "attr": ARCHIVE}])
crafted("link-file-deeper", [{"path": "a/sub/x.txt", "data": b"escaped", "attr": ARCHIVE}])
crafted("link-anti-below", [{"path": "sub/secret.txt", "data": b"", "anti": True}])
crafted("link-folder-below", [{"path": "sub/dir", "data": None, "attr": DIR | HIDDEN | SYSTEM}])
crafted("link-folder-itself", [{"path": "sub", "data": None, "attr": DIR | HIDDEN | SYSTEM}])
crafted("link-file-itself", [{"path": "f.txt", "data": b"replaced", "attr": ARCHIVE}])
crafted("link-anti-itself", [{"path": "f.txt", "data": b"", "anti": True}])
crafted("large", [{"path": "large.bin", "data": os.urandom(300_000), "attr": ARCHIVE}])
deep = "/".join(["abcdefghi"] * 300)
crafted("deep", [{"path": "/".join(["abcdefghi"] * n), "data": None, "attr": DIR} for n in range(1, 301)] +
        [{"path": deep + "/leaf.txt", "data": b"deep", "attr": ARCHIVE}])

# --- a signed installer -------------------------------------------------------
shutil.copy(os.path.join(out, "method-lzma2.7z"), os.path.join(out, "tree.7z"))
unsigned = os.path.join(out, "unsigned.exe")
with open(unsigned, "wb") as f:
    f.write(open(stub, "rb").read() + open(os.path.join(out, "tree.7z"), "rb").read())
key, cert = os.path.join(out, "key.pem"), os.path.join(out, "cert.pem")
subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                "-subj", "/CN=vm-sfxstub test", "-keyout", key, "-out", cert],
               check=True, capture_output=True)
subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", unsigned,
                "-out", os.path.join(out, "signed.exe")], check=True, capture_output=True)
os.remove(unsigned)
