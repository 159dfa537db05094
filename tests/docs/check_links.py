#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# check_links.py SOURCE_DIR [PACKER]: every relative link of the README and
# the pages of docs/ names a file of the repository, and every #anchor a
# heading of the page it points to (anchors as a Markdown renderer makes them
# from headings). Links to other sites are not followed.
#
# With PACKER (the Linux vm-sfxpack, beside the stub it packs), the packer's
# output quoted in those pages is also what it prints today: the extract
# example packed and verified, and --explain of the examples. Prints each
# broken link and each stale quote and exits 1.
import os, re, shutil, subprocess, sys, tempfile

root = os.path.abspath(sys.argv[1])
link = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")


def anchors(path):
    with open(path, encoding="utf-8") as f:
        headings = [line.lstrip("#").strip() for line in f if line.startswith("#")]
    return {re.sub(r"[^\w\- ]", "", h.lower()).replace(" ", "-") for h in headings}


pages = ["README.md"] + sorted(os.path.join("docs", n) for n in os.listdir(os.path.join(root, "docs"))
                               if n.endswith(".md"))
broken = []
for page in pages:
    with open(os.path.join(root, page), encoding="utf-8") as f:
        text = f.read()
    for target in link.findall(text):
        if re.match(r"[a-z]+:", target):
            continue
        file, _, anchor = target.partition("#")
        path = os.path.normpath(os.path.join(root, os.path.dirname(page), file)) if file else os.path.join(root, page)
        if not os.path.exists(path):
            broken.append(f"{page}: {target}: no such file")
        elif anchor and (not path.endswith(".md") or anchor not in anchors(path)):
            broken.append(f"{page}: {target}: no such heading")


# Quoted lines that begin like one of these are output of the commands below.
QUOTED = ("setup.exe: stub ", "image: ", "document: ", "payload: ", "decoding: on one thread", "Launch installer, ",
          "Extract installer, ", "machine  display", "x86  ", "x64  ", "ARM64  ", "vm-sfxpack: note: ARM64")


# 2026-01-01 00:00 UTC, the time the quoted example's files carry.
FIXED_TIME = 1767225600


def packer_lines(packer):
    def run(*words, cwd):
        result = subprocess.run([packer, *words], cwd=cwd, capture_output=True, text=True)
        if result.returncode != 0:
            sys.exit(f"check_links: vm-sfxpack {' '.join(words)} failed:\n{result.stdout}{result.stderr}")
        return result.stdout.splitlines()

    example = os.path.join(root, "examples")
    with tempfile.TemporaryDirectory() as work:
        # The archive keeps the files' times, and its compressed headers grow
        # or shrink by a byte with them: a checkout's own times would make
        # the quoted sizes depend on when it was made.
        files = os.path.join(work, "files")
        shutil.copytree(os.path.join(example, "extract", "files"), files)
        for folder, _, names in sorted(os.walk(files), reverse=True):
            for name in names + [""]:
                os.utime(os.path.join(folder, name), (FIXED_TIME, FIXED_TIME))
        lines = run("--folder", files, "--config", os.path.join(example, "extract", "setup.xml"), "--output",
                    "setup.exe", cwd=work)
        lines += run("--verify", "setup.exe", cwd=work)
    lines += run("--explain", "--config", "examples/launch.xml", "--languages", "de-AT,fr-FR,en-GB", cwd=root)
    lines += run("--explain", "--config", "examples/extract/setup.xml", cwd=root)
    return {line.rstrip() for line in lines}


stale = []
if len(sys.argv) > 2:
    printed = packer_lines(os.path.abspath(sys.argv[2]))
    for page in pages:
        with open(os.path.join(root, page), encoding="utf-8") as f:
            for number, line in enumerate(f, 1):
                quoted = line.strip()
                if line.startswith("    ") and quoted.startswith(QUOTED) and quoted not in printed:
                    stale.append(f"{page}:{number}: the packer no longer prints: {quoted}")
for line in broken + stale:
    print(line)
print(f"check_links: {len(pages)} pages, {len(broken)} broken links, {len(stale)} stale quotes of the packer")
sys.exit(1 if broken or stale else 0)
