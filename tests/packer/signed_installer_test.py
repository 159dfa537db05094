#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""A packed installer with a configuration document, signed afterwards.

signed_installer_test.py SOURCE_DIR BIN_DIR PAYLOADS WORK_DIR [PACKER]

PACKER (by default BIN_DIR/vm-sfxpack) makes an installer from the test tree,
the extract example document, an icon of a PNG and a bitmap image, and version
texts; wrestool reads the icon and the version resource back; osslsigncode
signs it with the test certificate of make_payloads.py and verifies the
signature, and PACKER --verify finds it sound with a signature; the signed
installer, run quietly into a fresh folder, must exit 0 and unpack the same
tree, and a copy with one payload byte changed must fail verification. The
packer and the installer run
in the Wine prefix VM_WINE_PREFIX names (win64 by default); the folder is kept
for a look when something fails.
"""
import os
import re
import shutil
import struct
import subprocess
import sys
import zlib

source, bin_dir, payloads, work_root = sys.argv[1:5]
packer = sys.argv[5] if len(sys.argv) > 5 else os.path.join(bin_dir, "vm-sfxpack")
if not os.path.exists(packer):
    print(f"{packer} is not built")
    sys.exit(77)
work = os.path.join(work_root, os.path.basename(os.path.dirname(packer)) + "-" + os.path.basename(packer),
                    os.environ.get("VM_WINE_PREFIX", "win64"))
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
tree = os.path.join(payloads, "tree")
unsigned = os.path.join(work, "setup.exe")
signed = os.path.join(work, "signed.exe")
target = os.path.join(work, "target")
cert, key = os.path.join(payloads, "cert.pem"), os.path.join(payloads, "key.pem")


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"FAILED ({result.returncode}): {' '.join(command)}\n{result.stdout}{result.stderr}")
    return result.stdout


def windows(path):
    return "Z:" + path.replace("/", "\\")


def listing(root):
    """Relative path -> file content (None for a folder) and modification time."""
    entries = {}
    for folder, dirs, files in os.walk(root):
        for name in dirs + files:
            full = os.path.join(folder, name)
            content = None
            if name in files:
                with open(full, "rb") as f:
                    content = f.read()
            entries[os.path.relpath(full, root)] = (content, None if content is None else os.stat(full).st_mtime_ns)
    return entries


def run_bytes(*command):
    result = subprocess.run(command, capture_output=True)
    if result.returncode != 0:
        sys.exit(f"FAILED ({result.returncode}): {' '.join(command)}\n{result.stderr.decode(errors='replace')}")
    return result.stdout


def png(size):
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data)))
    rows = b"".join(b"\0" + bytes((16, 96, 160, 255)) * size for _ in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bitmap(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + bytes((160, 96, 16, 255)) * size * size + b"\0" * (size * ((size + 31) // 32) * 4)


images = [(256, png(256)), (16, bitmap(16))]
icon_file = b"\0\0\1\0" + struct.pack("<H", len(images))
at = 6 + 16 * len(images)
for size, image in images:
    icon_file += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), at)
    at += len(image)
icon_file += b"".join(image for _, image in images)
icon = os.path.join(work, "vendor.ico")
with open(icon, "wb") as f:
    f.write(icon_file)

texts = {"ProductName": "Vendor Setup", "CompanyName": "Vendor Ltd", "FileVersion": "1.2.3.4",
         "LegalCopyright": "\u00a9 2026 Vendor"}
run(packer, "--folder", tree, "--config", os.path.join(source, "examples", "extract.xml"), "--icon", icon,
    *[w for name, value in texts.items() for w in ("--version-info", f"{name}={value}")], "--output", unsigned)

# The icon group rebuilt as a file begins with the icon file given (wrestool
# writes some bytes more behind it); the version resource holds every text and
# the numbers of FileVersion.
if not run_bytes("wrestool", "-x", "--type=14", unsigned).startswith(icon_file):
    sys.exit("FAILED: the icon read back differs from the icon file")
if run("wrestool", "-l", "--type=3", unsigned).count("--type=3") != len(images):
    sys.exit("FAILED: the installer keeps icons of the stub's")
version = run_bytes("wrestool", "-x", "--raw", "--type=16", unsigned)
for name, value in texts.items():
    if (name + "\0").encode("utf-16-le") not in version or (value + "\0").encode("utf-16-le") not in version:
        sys.exit(f"FAILED: the version resource lacks {name}={value}")
fixed = version.find(struct.pack("<I", 0xFEEF04BD))
if fixed < 0 or struct.unpack_from("<II", version, fixed + 8) != (0x00010002, 0x00030004):
    sys.exit("FAILED: the version numbers are not 1.2.3.4")
run("osslsigncode", "sign", "-certs", cert, "-key", key, "-in", unsigned, "-out", signed)
run("osslsigncode", "verify", "-CAfile", cert, "-in", signed)
# A release gate's check: packed here, then signed, so the image names its
# payload and a certificate table follows it.
verified = run(packer, "--verify", signed, "--require-signature")
if "signature: present" not in verified:
    sys.exit(f"FAILED: vm-sfxpack --verify does not see the signature:\n{verified}")

# One payload byte changed after signing: the signature no longer holds. The
# payload lies between the end of the last section and the certificate table.
with open(signed, "rb") as f:
    image = bytearray(f.read())
pe = struct.unpack_from("<I", image, 0x3C)[0]
sections, optional_size = struct.unpack_from("<H", image, pe + 6)[0], struct.unpack_from("<H", image, pe + 20)[0]
table = pe + 24 + optional_size
image_end = max(sum(struct.unpack_from("<II", image, table + 40 * i + 16)) for i in range(sections))
certificates = struct.unpack_from("<I", image, pe + 24 + 128)[0]  # the security entry of the 32-bit header
assert image_end < certificates, (image_end, certificates)
image[(image_end + certificates) // 2] ^= 0x01
tampered = os.path.join(work, "tampered.exe")
with open(tampered, "wb") as f:
    f.write(image)
verdict = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", tampered], capture_output=True, text=True)
if verdict.returncode == 0:
    sys.exit(f"FAILED: a changed payload byte still verifies:\n{verdict.stdout}{verdict.stderr}")

report = run(os.path.join(source, "scripts", "wine-run"), os.path.join(bin_dir, "print-exit-code.exe"), "--",
             windows(signed), "--gui", "off", "--target", windows(target))
if "messagebox:" in report or not re.search(r"^exit: 0x00000000 ", report, re.MULTILINE):
    sys.exit(f"FAILED: the signed installer did not unpack quietly:\n{report}")

expected, unpacked = listing(tree), listing(target)
if unpacked != expected:
    missing = sorted(set(expected) - set(unpacked))
    extra = sorted(set(unpacked) - set(expected))
    changed = sorted(p for p in set(expected) & set(unpacked) if expected[p] != unpacked[p])
    sys.exit(f"FAILED: the unpacked tree differs: missing {missing}, extra {extra}, changed {changed}")
shutil.rmtree(work)
print(f"harden: authenticode: cases 2, signed verifies 1, tampered verifies 0, unpacked items {len(expected)}")
