#!/usr/bin/env python3
"""A packed installer with a configuration document, signed afterwards.

signed_installer_test.py SOURCE_DIR BIN_DIR PAYLOADS WORK_DIR

vm-sfxpack makes an installer from the test tree and the extract example
document; osslsigncode signs it with the test certificate of make_payloads.py
and verifies the signature; the signed installer, run quietly into a fresh
folder, must exit 0 and unpack the same tree, and a copy with one payload
byte changed must fail verification. The packer and the installer run
in the Wine prefix VM_WINE_PREFIX names (win64 by default); the folder is kept
for a look when something fails.
"""
import os
import re
import shutil
import struct
import subprocess
import sys

source, bin_dir, payloads, work_root = sys.argv[1:5]
work = os.path.join(work_root, os.environ.get("VM_WINE_PREFIX", "win64"))
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


run(os.path.join(bin_dir, "vm-sfxpack"), "--folder", tree, "--config", os.path.join(source, "examples", "extract.xml"),
    "--output", unsigned)
run("osslsigncode", "sign", "-certs", cert, "-key", key, "-in", unsigned, "-out", signed)
run("osslsigncode", "verify", "-CAfile", cert, "-in", signed)

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

report = run(os.path.join(source, "scripts", "wine-run"), os.path.join(bin_dir, "runprogram.exe"), "--",
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
