#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Makes the archives of the payload hardening campaigns.

make_payload_cases.py OUT_DIR

- seeds/*.7z: one small tree packed by 7zz with every coding method the stub
  has, with and without compressed headers, encrypted, and written by hand
  with and without checksums; the runner damages them in memory.
- names/NN.7z and names/cases.txt: hostile item names, one archive each,
  with the verdict the stub must reach ("refuse": nothing written at all;
  "stay": whatever happens stays inside the target).
- limits/: 1 GiB of zeros, a dictionary patched to 4 GiB, headers declaring
  2^32 items.
"""
import os
import shutil
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
from seven_zip_writer import number, seven_zip, start_header  # noqa: E402

out = sys.argv[1]
shutil.rmtree(out, ignore_errors=True)
for sub in ("seeds", "names", "limits", "tree/sub/deeper", "tree/empty"):
    os.makedirs(os.path.join(out, sub))


def write(path, data):
    with open(os.path.join(out, path), "wb") as f:
        f.write(data)


def sevenzz(archive, switches, cwd, inputs=(".",), stdin=None):
    subprocess.run(["7zz", "a", "-bd", "-bso0", *switches, os.path.abspath(os.path.join(out, archive)), *inputs],
                   cwd=cwd, check=True, stdin=stdin)


# --- seeds --------------------------------------------------------------------
tree = os.path.join(out, "tree")
# Text, x86-like code (calls and jumps for the branch filters), 16-bit
# samples (for Delta and Swap) and a little noise; small, so that 1 % of an
# archive is a few dozen bytes.
write("tree/readme.txt", b"".join(b"line %d of the readme\r\n" % i for i in range(60)))
write("tree/sub/app.exe", b"".join(struct.pack("<BI", 0xE8, i * 16) + b"\x90\x55\x8b\xec" for i in range(300)))
write("tree/sub/deeper/samples.raw", b"".join(struct.pack("<h", (i * 37) % 2000 - 1000) for i in range(800)))
write("tree/noise.bin", bytes((i * 7919 + 13) % 251 for i in range(400)))
write("tree/sub/empty.txt", b"")

methods = {
    "lzma": ["-m0=LZMA"], "lzma2": ["-m0=LZMA2"], "ppmd": ["-m0=PPMd"], "copy": ["-m0=Copy"],
    "bcj": ["-mf=BCJ"], "bcj2": ["-mf=BCJ2"], "arm": ["-mf=ARM"], "armt": ["-mf=ARMT"], "ppc": ["-mf=PPC"],
    "ia64": ["-mf=IA64"], "sparc": ["-mf=SPARC"], "arm64": ["-mf=ARM64"], "riscv": ["-mf=RISCV"],
    "delta": ["-mf=Delta:2"], "swap2": ["-mf=Swap2"], "swap4": ["-m0=Swap4", "-m1=LZMA"],
    "nonsolid": ["-ms=off"], "aes": ["-psecret"], "aes-headers": ["-psecret", "-mhe=on"],
    # LZMA2 blocks of 1 KiB, which the stub decodes on several threads.
    "lzma2-blocks": ["-m0=LZMA2:c=1k"],
}
for name, switches in methods.items():
    # Plain headers let edits reach the coders' properties; compressed ones
    # put the header decoder in the way.
    sevenzz(f"seeds/{name}-plain.7z", ["-mhc=off", *switches], tree)
    if name in ("lzma", "lzma2", "ppmd", "bcj2", "aes"):
        sevenzz(f"seeds/{name}-packed.7z", switches, tree)
# By hand: Copy with and without checksums, an anti-item and a nameless item.
seed_items = [{"path": "a/b.txt", "data": b"checked " * 20, "attr": 0x20}, {"path": "a", "data": None, "attr": 0x10},
              {"path": "gone", "data": None, "anti": True}]
write("seeds/crafted-crc.7z", seven_zip(seed_items))
write("seeds/crafted-nocrc.7z", seven_zip(seed_items, crcs=False))
write("seeds/crafted-nameless.7z", seven_zip([{"path": "", "data": b"nameless"}], names=False))

# --- hostile names ------------------------------------------------------------
LINK = 0x8000 | (0o120777 << 16)  # a Unix symbolic link, as 7zz stores one
REPARSE = 0x400
refused = [
    # ".." and its look-alikes (Windows drops trailing dots and spaces) in
    # every position, with both separators.
    *[p.replace("/", sep) for p in ("../x", "a/../x", "a/b/../../../x", "a/..", "..", "a./..", ". ./x", "a/.. /x",
                                    "a/.../x", "./x", "a/./b")
      for sep in ("/", "\\")],
    # Absolute, rooted, drive-relative, UNC and the other prefixes.
    "/x", "\\x", "/etc/passwd", "C:x", "C:\\x", "c:../x", "Z:x", "//server/share/x", "\\\\server\\share\\x",
    "\\\\?\\C:\\x", "//?/C:/x", "\\??\\C:\\x", "\\\\.\\C:\\x", "//./nul",
    # Devices, with and without extensions, trailing dots and spaces.
    "NUL", "nul.txt", "a/CON", "aux.tar.gz", "COM1", "a/com9.log", "LPT1", "lpt\u00b9", "CONIN$", "conout$.txt",
    "PRN .txt", "Con .", "con/x",
    # Streams, trailing dots and spaces, characters Windows forbids, and a
    # name the library cannot report.
    "x:stream", "x::$DATA", "a/b:c", "a:$I30:$INDEX_ALLOCATION/x", "a./x", "a /x", "x.", "x ", "a?b", "a*b",
    "a<b", "a|b", "a\"b", "a\x01b", "a" * 16383,
]
stay = [
    ("names equal but for letter case", [{"path": "Readme.txt", "data": b"one"}, {"path": "README.TXT", "data": b"two"},
                                         {"path": "Dir/a", "data": b"a"}, {"path": "dir/b", "data": b"b"}]),
    ("a file with items below it", [{"path": "a", "data": b"file"}, {"path": "a/b", "data": b"below"}]),
    ("a folder where a file was", [{"path": "a", "data": b"file"}, {"path": "a", "data": None, "attr": 0x10}]),
    ("a Unix link to outside, then an item through it", [{"path": "link", "data": b"../../..", "attr": LINK},
                                                         {"path": "link/x", "data": b"escaped"}]),
    ("an absolute Unix link", [{"path": "etc", "data": b"/etc", "attr": LINK}]),
    ("a Windows reparse attribute on a file and a folder",
     [{"path": "r.txt", "data": b"C:\\windows", "attr": REPARSE | 0x20},
      {"path": "rd", "data": None, "attr": REPARSE | 0x10}, {"path": "rd/x", "data": b"x"}]),
    ("an element of 255 characters", [{"path": "b" * 255 + "/x", "data": b"long"}]),
    ("an element of 256 characters", [{"path": "b" * 256, "data": b"too long"}]),
    ("a path of 16382 characters", [{"path": "/".join(["c" * 200] * 81) + "/" + "d" * 181, "data": b"deep"}]),
    ("200 levels deep", [{"path": "/".join(["e"] * 200) + "/leaf", "data": b"leaf"}]),
    ("empty elements and a trailing separator", [{"path": "a//b/", "data": None, "attr": 0x10},
                                                 {"path": "a//b//c", "data": b"c"}]),
    ("lone surrogates", [{"path": "\ud800x", "data": b"s"}, {"path": "y\udfff", "data": b"t"}]),
    ("device-like but ordinary", [{"path": "console", "data": b"c"}, {"path": "com10", "data": b"c"},
                                  {"path": "nul_", "data": b"n"}, {"path": ".hidden", "data": b"h"}]),
    ("the default name taken twice", [{"path": "Default", "data": b"d"}]),
]
cases = [("refuse", repr(p), [{"path": "first.txt", "data": b"first"}, {"path": p, "data": b"escaped"}])
         for p in refused]
cases += [("refuse", repr(p) + " as a folder", [{"path": p, "data": None, "attr": 0x10}]) for p in ("..", "C:", "NUL")]
cases += [("stay", what, items) for what, items in stay]
with open(os.path.join(out, "names", "cases.txt"), "w", encoding="utf-8") as listing:
    for n, (verdict, what, items) in enumerate(cases):
        write(f"names/{n:03d}.7z", seven_zip(items))
        listing.write(f"{n:03d} {verdict} {what.encode('ascii', 'backslashreplace').decode()[:120]}\n")

# --- resource limits ----------------------------------------------------------
with subprocess.Popen(["head", "-c", str(1 << 30), "/dev/zero"], stdout=subprocess.PIPE) as zeros:
    sevenzz("limits/bomb.7z", ["-m0=LZMA2", "-mx=1", "-sibomb.bin"], out, [], stdin=zeros.stdout)


def patched(archive, prefix, value):
    """`archive` (plain headers) with the bytes behind `prefix` in its header
    replaced by `value` and both checksums made to fit again."""
    data = open(os.path.join(out, archive), "rb").read()
    offset, size = struct.unpack_from("<QQ", data, 12)
    header = data[32 + offset:32 + offset + size]
    assert header.count(prefix) == 1, archive
    at = header.index(prefix) + len(prefix)
    header = header[:at] + value + header[at + len(value):]
    return start_header(offset, header) + data[32:32 + offset] + header


sevenzz("limits/lzma.7z", ["-mhc=off", "-m0=LZMA"], tree, ["readme.txt"])
sevenzz("limits/lzma2.7z", ["-mhc=off", "-m0=LZMA2"], tree, ["readme.txt"])
# LZMA: a properties byte, then the dictionary size; LZMA2: one byte, where
# 40 is 4 GiB - 1.
write("limits/dictionary-lzma.7z", patched("limits/lzma.7z", b"\x23\x03\x01\x01\x05\x5d", b"\xff" * 4))
write("limits/dictionary-lzma2.7z", patched("limits/lzma2.7z", b"\x21\x21\x01", b"\x28"))
# The item count is the number behind the files' property id (5), right
# after the end of the streams' information.
one = seven_zip([{"path": "x", "data": b"x"}])
offset = struct.unpack_from("<Q", one, 12)[0]
for name, count in (("items-4g", 1 << 32), ("items-4g-1", (1 << 32) - 1), ("items-2g", 1 << 31)):
    header = one[32 + offset:].replace(b"\x00\x05\x01\x11", b"\x00\x05" + number(count) + b"\x11", 1)
    write(f"limits/{name}.7z", start_header(offset, header) + one[32:32 + offset] + header)
