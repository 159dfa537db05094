#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Linux packer against the Windows one.

packer_parity_test.py SOURCE_DIR BIN_DIR PAYLOADS WORK_DIR [LINUX_PACKER]

Given LINUX_PACKER (the sanitizer build), only that packer runs, and any
sanitizer report fails the test; the comparisons with the Windows packer
and the installer run under Wine are left to the plain entry.

Every document of tests/config and the payloads the stub refuses go through
the Linux packer: accepted ones pack, refused ones exit 1 and leave the
folder as it was. A sample of them, and the command-line mistakes, also go
through the Windows packer under Wine: both must print the same lines, exit
with the same code and, when they pack, write the same bytes. A launch
installer made by the Linux packer runs under Wine and ends with its
command's exit code.
"""
import glob
import hashlib
import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import time

source, bin_dir, payloads, work_root = sys.argv[1:5]
sanitized = len(sys.argv) > 5
if sanitized and not os.path.exists(sys.argv[5]):
    print(f"{sys.argv[5]} is not built (scripts/build-sanitized builds it)")
    sys.exit(77)
work = os.path.join(work_root, "sanitized" if sanitized else os.environ.get("VM_WINE_PREFIX", "win64"))
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
native, windows = os.path.join(bin_dir, "vm-sfxpack"), os.path.join(bin_dir, "vm-sfxpack-wine")
if sanitized:
    native = sys.argv[5]
failures = []


def pack(packer, *words):
    """Runs a packer in the work folder with relative paths, so both print the same."""
    # The timeout only ends a packer that hangs (on a FIFO, say); none waits for it.
    result = subprocess.run([packer, *words], cwd=work, capture_output=True, text=True, timeout=600)
    if "Sanitizer" in result.stderr or "runtime error:" in result.stderr:
        failures.append(f"{words}: {result.stderr}")
    return result.returncode, result.stdout, result.stderr


def put(name, source_path):
    shutil.copyfile(source_path, os.path.join(work, name))


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


put("payload.7z", os.path.join(payloads, "method-lzma2.7z"))
put("doc.xml", os.path.join(source, "examples", "extract.xml"))
with open(os.path.join(work, "not-an-icon.ico"), "w") as f:
    f.write("plain text")

# (name, words, compared with the Windows packer)
cases = []
documents = sorted(glob.glob(os.path.join(source, "tests", "config", "*", "*.xml")))
sample = {"accepted", "architecture-twice.xml", "command-ids-equal.xml", "default-command-empty.xml",
          "command-without-id.xml", "as-admin-on-create-process.xml", "commands-without-command.xml"}
for document in documents:
    name = "doc-" + os.path.basename(document)
    put(name, document)
    compared = os.path.basename(os.path.dirname(document)) in sample or os.path.basename(document) in sample
    cases.append((name, ["--config", name, "--payload", "payload.7z"], compared))
refused_payloads = ["crafted-case.7z", "crafted-unsafe-parent-backslash.7z", "crafted-unsafe-device.7z",
                    "crafted-unsafe-forbidden.7z", "crafted-unsafe-trailing.7z", "crafted-symlink.7z",
                    "crafted-nocrc.7z", "crafted-unsafe-long.7z", "encrypted.7z", "../packer-inputs/bzip2.7z"]
for payload in refused_payloads:
    name = "payload-" + os.path.basename(payload)
    put(name, os.path.join(payloads, payload))
    cases.append((name, ["--config", "doc.xml", "--payload", name], True))
# Names and texts beyond Latin-1 and beyond 16 bits: both packers convert
# them alike, and compare names in letter case alike.
for name, files in (("unicode-names.7z", ["\u00dcn\u00efc\u00f6d\u00e9/\U0001d11e \u0444\u0430\u0439\u043b.txt"]),
                    ("unicode-case.7z", ["\u00c4\U0001d11e.txt", "\u00e4\U0001d11e.txt"])):
    tree = os.path.join(work, name + ".d")
    for file in files:
        os.makedirs(os.path.dirname(os.path.join(tree, file)), exist_ok=True)
        with open(os.path.join(tree, file), "w") as f:
            f.write(file)
    subprocess.run(["7zz", "a", "-bso0", "-bsp0", os.path.join(work, name), "."], cwd=tree, check=True)
    shutil.rmtree(tree)
    cases.append((name, ["--config", "doc.xml", "--payload", name], True))
cases += [
    ("texts beyond 16 bits", ["--payload", "payload.7z", "--version-info", "ProductName=\u00dc \U0001d11e \u0444"],
     True),
    ("bad version", ["--payload", "payload.7z", "--version-info", "FileVersion=1..2"], True),
    ("unknown key", ["--payload", "payload.7z", "--version-info", "Comments=x"], True),
    ("no output", ["--payload", "payload.7z"], True),
    ("not an icon", ["--payload", "payload.7z", "--icon", "not-an-icon.ico"], True),
    ("icon and texts", ["--config", "doc.xml", "--payload", "payload.7z", "--icon",
                        os.path.join(source, "ui", "stub.ico"), "--version-info", "CompanyName=Vendor"], True),
    ("a FIFO as the document", ["--config", "fifo.xml", "--payload", "payload.7z"], False),
    # Windows has no name for these bytes, and would read a backslash as a
    # separator: refused, naming the bytes.
    ("a folder name not UTF-8", ["--folder", "not-utf8"], False),
    ("a folder name with a backslash", ["--folder", "backslash"], False),
    # Both packers look into the program for its filter: the same bytes, BCJ
    # at --level fast, BCJ2 at normal and max.
    ("a folder with a program", ["--folder", "programs"], True),
    ("a folder with a program at --level fast", ["--folder", "programs", "--level", "fast"], True),
    ("a folder with a program at --level max", ["--folder", "programs", "--level", "max"], True),
    ("an unknown level", ["--folder", "programs", "--level", "ultra"], True),
]
os.mkfifo(os.path.join(work, "fifo.xml"))
os.makedirs(os.path.join(work, "programs"))
shutil.copyfile(os.path.join(bin_dir, "print-exit-code.exe"), os.path.join(work, "programs", "tool.exe"))
for folder, name in (("not-utf8", b"caf\xe9.txt"), ("backslash", b"a\\b.txt")):
    os.makedirs(os.path.join(work.encode(), folder.encode()))
    with open(os.path.join(work.encode(), folder.encode(), name), "w") as f:
        f.write("named")
said = {"a folder name not UTF-8": '"caf\\xE9.txt"', "a folder name with a backslash": '"a\\x5Cb.txt"'}
cases = [(name, words, compared and not sanitized) for name, words, compared in cases]

for name, words, compared in cases:
    words = (["--output", "setup.exe"] if "no output" != name else []) + words
    before = sorted(os.listdir(work))
    got = pack(native, *words)
    if name.startswith("a folder with a program"):
        filter_said = " BCJ;" if name.endswith("fast") else " BCJ2"
        check(name, got[0] == 0 and filter_said in pack(native, "--verify", "setup.exe")[1], f"{got}")
    if name == "an unknown level":
        check(name, got[0] == 2 and "--level is fast, normal or max" in got[2], f"{got}")
    if got[0] != 0:
        check(name, sorted(os.listdir(work)) == before, "the refusal left files behind")
        check(name, got[0] in (1, 2) and got[2].count("\n") == 1 and not got[1], f"refusal output {got}")
    if "FIFO" in name:
        check(name, got[0] == 1, f"{got}")
    if name in said:
        check(name, got[0] == 1 and said[name] in got[2], f"{got}")
    if name.startswith("doc-"):
        accepted = "/accepted/" in next(d for d in documents if d.endswith(name[4:]))
        check(name, (got[0] == 0) == accepted, f"exit {got[0]}: {got[2]}")
    if compared:
        native_bytes = None
        if got[0] == 0:
            with open(os.path.join(work, "setup.exe"), "rb") as f:
                native_bytes = f.read()
            os.remove(os.path.join(work, "setup.exe"))
        expected = pack(windows, *words)
        check(name, got == expected, f"Linux packer {got}, Windows packer {expected}")
        if expected[0] == 0:
            with open(os.path.join(work, "setup.exe"), "rb") as f:
                check(name, f.read() == native_bytes, "the two installers differ")
    if os.path.exists(os.path.join(work, "setup.exe")):
        os.remove(os.path.join(work, "setup.exe"))

# A launch installer: the command's exit code comes back through the stub.
with open(os.path.join(work, "launch.xml"), "w") as f:
    f.write("<SelfExtractor FormatVersionMajor='3' FormatVersionMinor='1'><Launch><Options><Option Id='any'>"
            "<ProcessorArchitectureSet><ProcessorArchitecture>x86</ProcessorArchitecture>"
            "<ProcessorArchitecture>x64</ProcessorArchitecture></ProcessorArchitectureSet><Commands>"
            "<Command Id='go'><CreateProcess><Executable>cmd.exe</Executable><Arguments>/c exit 7</Arguments>"
            "</CreateProcess></Command></Commands></Option></Options></Launch></SelfExtractor>")
got = pack(native, "--output", "launch.exe", "--config", "launch.xml", "--folder", os.path.join(payloads, "tree"))
check("launch", got[0] == 0, f"{got}")
if got[0] == 0 and not sanitized:
    report = subprocess.run([os.path.join(source, "scripts", "wine-run"), os.path.join(bin_dir, "print-exit-code.exe"),
                             "--", "Z:" + os.path.join(work, "launch.exe").replace("/", "\\"), "--gui", "off"],
                            capture_output=True, text=True).stdout
    check("launch", re.search(r"^exit: 0x00000007 ", report, re.MULTILINE), report)

# What the two packers say about documents and installers without packing.
inspections = [(name, ["--explain", "--config", name, "--languages", "de-AT,fr-FR,en-GB,ja-JP"])
               for name, _, compared in cases if name.startswith("doc-") and compared]
if got[0] == 0:
    with open(os.path.join(work, "launch.exe"), "rb") as f:
        damaged = bytearray(f.read())
    damaged[-40] ^= 0x55
    with open(os.path.join(work, "damaged.exe"), "wb") as f:
        f.write(damaged)
    shutil.copyfile(os.path.join(work, "launch.exe"), os.path.join(work, "Gr\u00f6\u00dfe.exe"))
    inspections += [("verify", ["--verify", "launch.exe"]), ("verify damaged", ["--verify", "damaged.exe"]),
                    ("verify a name beyond ASCII", ["--verify", "Gr\u00f6\u00dfe.exe"])]
    # The image names its payload's SHA-256, taken over the archive as
    # --verify finds it; a stub and an archive joined by hand name none, and
    # a changed digest names another payload.
    found = re.search(r"payload: .* (\d+) bytes at offset (\d+),", pack(native, "--verify", "launch.exe")[1])
    check("the digest is written", found, "no payload line")
    if found:
        size, offset = int(found[1]), int(found[2])
        with open(os.path.join(work, "launch.exe"), "rb") as f:
            wrong = bytearray(f.read())
        digest = hashlib.sha256(wrong[offset:offset + size]).digest()
        check("the digest is written", wrong[:offset].count(digest) == 1, "the payload's SHA-256 is not in the image")
        if digest in wrong:
            wrong[wrong.index(digest)] ^= 0x01
        with open(os.path.join(work, "wrong-digest.exe"), "wb") as f:
            f.write(wrong)
        with open(os.path.join(bin_dir, "vm-sfxstub.exe"), "rb") as stub, \
                open(os.path.join(work, "payload.7z"), "rb") as archive, \
                open(os.path.join(work, "joined.exe"), "wb") as f:
            f.write(stub.read() + archive.read())
        inspections += [("verify a wrong digest", ["--verify", "wrong-digest.exe"]),
                        ("verify without a digest", ["--verify", "joined.exe"])]
# With a payload --explain prints --verify's "decoding:" line; with a folder,
# the blocks packing would write for the files' total size (sparse files:
# only their sizes are read).
put("blocks.7z", os.path.join(payloads, "method-lzma2-blocks.7z"))
decoding = {
    "explain a payload of one block": (["--payload", "payload.7z"], 0, "decoding: on one thread (no LZMA2 stream"),
    "explain a payload in blocks": (["--payload", "blocks.7z"], 0,
                                    "decoding: in parallel, on up to 4 threads (4 LZMA2 blocks in its largest stream)."),
    "explain a payload that is no archive": (["--payload", "doc.xml"], 1, "doc.xml is not a 7z archive"),
    "explain a missing folder": (["--folder", "missing"], 1, "the folder missing does not exist"),
}
# --explain names the level and what it writes for the files' total size.
for size, level, said in (
        (4 << 20, None, "on one thread for the data, BCJ2 and its side streams on threads beside it (vm-sfxpack "
                        "--folder --level normal writes the folder's 4194304 bytes of files in one LZMA2 block with "
                        "a 4 MiB dictionary, x86 programs through BCJ2; the stub needs at most 20 MiB"),
        ((4 << 20) + 1, "fast", "in parallel, on up to 2 threads (vm-sfxpack --folder --level fast writes the "
                                "folder's 4194305 bytes of files in LZMA2 blocks of 4 MiB with a 4 MiB dictionary; the "
                                "stub needs at most 24 MiB"),
        ((64 << 20) + 1, "normal", "in parallel, on up to 2 threads (vm-sfxpack --folder --level normal writes the "
                                   "folder's 67108865 bytes of files in LZMA2 blocks of 64 MiB with a 64 MiB "
                                   "dictionary, x86 programs through BCJ2; the stub needs at most 144 MiB"),
        (100 << 20, "max", "on one thread for the data, BCJ2 and its side streams on threads beside it (vm-sfxpack "
                           "--folder --level max writes the folder's 104857600 bytes of files in one LZMA2 block "
                           "with a 64 MiB dictionary, x86 programs through BCJ2; the stub needs at most 80 MiB"),
        (1 << 30, None, "in parallel, on up to 8 threads (vm-sfxpack --folder --level normal writes the folder's "
                        "1073741824 bytes of files in LZMA2 blocks of 128 MiB with a 64 MiB dictionary, x86 programs "
                        "through BCJ2; the stub needs at most 528 MiB")):
    if not os.path.exists(os.path.join(work, f"sized-{size}")):
        os.makedirs(os.path.join(work, f"sized-{size}"))
        with open(os.path.join(work, f"sized-{size}", "data.bin"), "wb") as f:
            f.truncate(size)
    decoding[f"explain a folder of {size} bytes at {level}"] = (
        ["--folder", f"sized-{size}", *(["--level", level] if level else [])], 0, "decoding: " + said)
inspections += [(name, ["--explain", "--config", "doc.xml", *words]) for name, (words, _, _) in decoding.items()]
digests = {"verify": (0, "digest: the image names the payload's SHA-256 (RT_RCDATA 225), and the payload matches"),
           "verify a wrong digest": (1, "does not match the payload: the stub refuses it with 0xEE002008"),
           "verify without a digest": (1, "the image carries no payload digest (RT_RCDATA 225)")}
for name, words in inspections:
    native_said = pack(native, *words)
    if name in digests:
        code, part = digests[name]
        check(name, native_said[0] == code and part in native_said[2 if code else 1], f"{native_said}")
    if name in decoding:
        _, code, part = decoding[name]
        check(name, native_said[0] == code and part in native_said[2 if code else 1], f"{native_said}")
    if not sanitized:
        windows_said = pack(windows, *words)
        check(name, native_said == windows_said, f"Linux packer {native_said}, Windows packer {windows_said}")

# A link planted where the output goes is replaced, never written through,
# and the installer gets the permissions of any new file of the user.
victim = os.path.join(work, "victim.txt")
with open(victim, "w") as f:
    f.write("untouched")
os.symlink(victim, os.path.join(work, "linked.exe"))
got = pack(native, "--output", "linked.exe", "--payload", "payload.7z")
check("a link at the output", got[0] == 0 and not os.path.islink(os.path.join(work, "linked.exe")), f"{got}")
with open(victim) as f:
    check("a link at the output", f.read() == "untouched", "written through the link")
mask = os.umask(0)
os.umask(mask)
check("a link at the output", os.stat(os.path.join(work, "linked.exe")).st_mode & 0o777 == 0o666 & ~mask, "mode")

# A run stopped while it reads the first file of a folder: the second is
# swapped for a link or a FIFO before it is opened, or the run is ended by
# SIGTERM. The packer is frozen with SIGSTOP while the test looks, so what it
# has open is certain; the bounds are generous, nothing waits for a time.
def stopped_while_reading(name, act, expect):
    tree = os.path.realpath(os.path.join(work, "stopped-" + name))
    os.makedirs(tree)
    with open(os.path.join(tree, "a.bin"), "wb") as f:
        f.truncate(64 << 20)
    with open(os.path.join(tree, "b.txt"), "w") as f:
        f.write("packed")
    before = sorted(os.listdir(work))
    run = subprocess.Popen([native, "--output", "stopped.exe", "--folder", tree], cwd=work,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

    def reading():
        try:
            fds = f"/proc/{run.pid}/fd"
            return {os.path.basename(os.readlink(os.path.join(fds, fd))) for fd in os.listdir(fds)}
        except OSError:
            return set()

    bound = time.monotonic() + 300
    while "a.bin" not in reading() and run.poll() is None and time.monotonic() < bound:
        time.sleep(0.001)
    run.send_signal(signal.SIGSTOP)
    now = reading()
    ready = "a.bin" in now and "b.txt" not in now
    check(name, ready, f"not caught reading the first file only: {now}")
    temporary = [n for n in os.listdir(work) if ".vm-sfxpack-" in n]
    check(name, temporary, "no temporary file while packing")
    if ready:
        act(run, os.path.join(tree, "b.txt"))
    run.send_signal(signal.SIGCONT)
    out, err = run.communicate(timeout=600)
    check(name, expect(run.returncode, err), f"exit {run.returncode}: {err}")
    check(name, sorted(os.listdir(work)) == before, f"left {sorted(set(os.listdir(work)) - set(before))}")
    shutil.rmtree(tree)


def swap_for_link(run, path):
    os.remove(path)
    os.symlink(victim, path)


def swap_for_fifo(run, path):
    os.remove(path)
    os.mkfifo(path)


replaced = "was replaced after the folder was read"
stopped_while_reading("a link swapped in", swap_for_link, lambda code, err: code == 1 and replaced in err)
stopped_while_reading("a FIFO swapped in", swap_for_fifo, lambda code, err: code == 1 and replaced in err)
stopped_while_reading("SIGTERM", lambda run, path: run.send_signal(signal.SIGTERM),
                      lambda code, err: code == -signal.SIGTERM)

# On a terminal --verify shows how far its decode has come, on one line it
# rewrites and blanks at the end; through a pipe (every run above) it says
# nothing of it.
if os.path.exists(os.path.join(work, "launch.exe")):
    terminal, attached = pty.openpty()
    verify = subprocess.run([native, "--verify", "launch.exe"], cwd=work, stdout=subprocess.PIPE, stderr=attached)
    os.close(attached)
    shown = b""
    try:
        while chunk := os.read(terminal, 4096):
            shown += chunk
    except OSError:
        pass
    os.close(terminal)
    check("a progress line on a terminal", verify.returncode == 0 and shown.startswith(b"\rdecoding ") and
          re.search(rb"\r +\r$", shown), f"{verify.returncode}: {shown!r}")

if failures:
    sys.exit("FAILED:\n" + "\n".join(failures))
shutil.rmtree(work)
print(f"{len(cases)} cases through the Linux packer, "
      f"{sum(1 for c in cases if c[2])} also through the Windows packer; the launch installer ran; "
      f"{len(inspections)} --explain and --verify runs alike")
