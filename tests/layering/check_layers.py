#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
# check_layers.py SOURCE_DIR: every include of the project's own headers in
# the programs' code stays within the rooms (top-level folders) that the
# including file's room may use. Each room may use itself and the rooms of its
# row; an include of any other room fails, named by file, line and include.
# The rows keep the stub's rooms below its run sequence and out of the
# packer, and the packer out of the stub's own rooms, so that neither program
# drags the other's code in and no room reaches back up.
#
# tests/ and bench/ are not checked: a test or a benchmark drives the room it
# is about through the rooms around it (the launch-command test makes its
# command line the way the elevated relaunch does), so its includes say
# nothing about how the programs are layered.
import os
import re
import sys

STUB_ROOMS = {"support", "config", "payload", "ui", "tasks", "elevation", "app"}
ALLOWED = {
    "support": set(),
    "config": {"support"},
    "payload": {"support"},
    "ui": {"support"},
    "tasks": {"support", "config", "payload"},
    "elevation": {"support", "config", "payload", "tasks"},
    "app": STUB_ROOMS,
    # With its sub-rooms pe/ and archive/.
    "packer": {"support", "config", "payload"},
}
# Headers the build writes into build/generated from the templates in cmake/,
# counted as the room whose build writes them.
GENERATED = {
    "vm_version.h": "ui",  # the stub's version resource (ui/stub.rc)
    "vm_commit.h": "packer",  # vm-sfxpack --version
    "config_schema.h": "packer",  # the schema in the packer's notes
}
# Folders that hold no code of the programs (tests/ and bench/: see above).
NOT_ROOMS = {".git", "build", "dist", "tests", "bench", "cmake", "docs", "examples", "schema", "scripts", "host"}
SOURCE_SUFFIXES = (".cpp", ".h", ".c", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s*["<]([^">]+)[">]')

source_dir = os.path.abspath(sys.argv[1])
problems = []

# Every template of a generated header has a row, so that no new one goes
# unchecked.
for name in sorted(os.listdir(os.path.join(source_dir, "cmake"))):
    if name.endswith(".h.in") and name[: -len(".in")] not in GENERATED:
        problems.append(f"cmake/{name}: the header it generates has no room in GENERATED")


def room_of_include(including_file, include):
    """The room that `include` in `including_file` names, or None when it is
    not ours (system headers, the archive library's, tinyxml2)."""
    top = include.split("/", 1)[0]
    if "/" in include and top in ALLOWED:
        return top
    if include in GENERATED:
        return GENERATED[include]
    # A path relative to the including file counts when it lands in the tree.
    beside = os.path.normpath(os.path.join(os.path.dirname(including_file), include))
    if os.path.isfile(beside) and beside.startswith(source_dir + os.sep):
        return os.path.relpath(beside, source_dir).split(os.sep, 1)[0]
    return None


files = 0
own_includes = 0
for top in sorted(os.listdir(source_dir)):
    path = os.path.join(source_dir, top)
    if not os.path.isdir(path) or top in NOT_ROOMS:
        continue
    for folder, subfolders, names in os.walk(path):
        subfolders.sort()
        for name in sorted(names):
            if not name.endswith(SOURCE_SUFFIXES):
                continue
            file = os.path.join(folder, name)
            relative = os.path.relpath(file, source_dir)
            if top not in ALLOWED:
                problems.append(f"{relative}: the room {top}/ has no row in the table")
                break
            files += 1
            with open(file, encoding="utf-8") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    room = room_of_include(file, match.group(1))
                    if room is None:
                        continue
                    own_includes += 1
                    if room != top and room not in ALLOWED[top]:
                        problems.append(f'{relative}:{number}: #include "{match.group(1)}": '
                                        f"{top}/ may not include {room}/")

for problem in problems:
    print(problem)
print(f"check_layers: {files} files, {own_includes} includes of the project's rooms, {len(problems)} problems")
sys.exit(1 if problems else 0)
