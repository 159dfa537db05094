#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# check_links.py SOURCE_DIR: every relative link of the README and the pages
# of docs/ names a file of the repository, and every #anchor a heading of the
# page it points to (anchors as a Markdown renderer makes them from headings).
# Links to other sites are not followed. Prints each broken link and exits 1.
import os, re, sys

root = sys.argv[1]
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
for line in broken:
    print(line)
print(f"check_links: {len(pages)} pages, {len(broken)} broken links")
sys.exit(1 if broken else 0)
