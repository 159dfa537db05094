#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Debian package, installed into a scratch root and used from there.

debian_package_test.py SOURCE_DIR BIN_DIR WORK_DIR

scripts/debian-package builds the package from BIN_DIR, lintian finds no
error in it, and dpkg -x unpacks it into a scratch root. The package carries
the notices, the licence texts and the man page; the packer installed there
names the stub beside its bin/ folder in --version, packs the extract
example without being told where the stub is, and the installer unpacks the
example quietly under Wine. Copied on its own, the packer finds no stub and
says where it looked. The folder is kept for a look when something fails.
"""
import filecmp
import gzip
import os
import re
import shutil
import subprocess
import sys

source, bin_dir, work = sys.argv[1:4]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
root = os.path.join(work, "root")
failures = []


def run(*command, expect=0):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != expect:
        sys.exit(f"FAILED (exit {result.returncode}, not {expect}): {' '.join(command)}\n{result.stdout}{result.stderr}")
    return result.stdout + result.stderr


def check(name, condition, detail=""):
    if not condition:
        failures.append(f"{name}: {detail}")


def windows(path):
    return "Z:" + path.replace("/", "\\")


run(os.path.join(source, "scripts", "notices"), os.path.join(work, "notices"))
deb = run(os.path.join(source, "scripts", "debian-package"), bin_dir, os.path.join(work, "notices"), work).strip()
run("lintian", "--fail-on", "error", deb)
run("dpkg", "-x", deb, root)

doc = os.path.join(root, "usr/share/doc/vm-sfxstub")
for path in ("copyright", "changelog.gz", "THIRD-PARTY-NOTICES", "licenses/Apache-2.0", "licenses/7zip/License.txt",
             "licenses/7zip/copying.txt", "licenses/tinyxml2/LICENSE.txt", "licenses/mingw-w64/copyright",
             "licenses/gcc-mingw-w64/copyright", "README.md", "examples/extract/setup.xml"):
    check("the package's documentation", os.path.isfile(os.path.join(doc, path)), f"no {path}")
for path in ("usr/share/man/man1/vm-sfxpack.1.gz", "usr/share/xml/vm-sfxstub/sfx-config.xsd",
             "usr/lib/vm-sfxstub/vm-sfxpack.exe", "usr/lib/vm-sfxstub/print-exit-code.exe"):
    check("the package's files", os.path.isfile(os.path.join(root, path)), f"no {path}")
# The examples name the schema relative to themselves, as in the repository.
with open(os.path.join(doc, "examples", "extract.xml")) as f:
    location = re.search(r'xsi:noNamespaceSchemaLocation="([^"]+)"', f.read()).group(1)
check("the examples' schema location", os.path.isfile(os.path.join(doc, "examples", location)), location)
with gzip.open(os.path.join(root, "usr/share/man/man1/vm-sfxpack.1.gz"), "rt") as f:
    manual = f.read()
for part in ('.SH EXAMPLES', '.SH FILES', '.SH "SEE ALSO"', "osslsigncode", "/usr/share/xml/vm\\-sfxstub/sfx\\-config.xsd",
             "INSTALLER.exe", "ARCHIVE.7z"):
    check("the man page", part in manual, f"no {part}")
check("the man page's argument names", "FILE.7z" not in manual and "FILE.exe" not in manual, "names differ")
with open(os.path.join(doc, "THIRD-PARTY-NOTICES")) as f:
    notices = f.read()
seven_zip = run("dpkg-parsechangelog", "-l", os.path.join(source, "build/_deps/7zip/debian/changelog"), "-S", "Version")
check("the notices' versions", f"7zip {seven_zip.strip()}" in notices, "the 7-Zip source package's version is missing")

packer = os.path.join(root, "usr/bin/vm-sfxpack")
stub = os.path.join(root, "usr/bin/../lib/vm-sfxstub/vm-sfxstub.exe")
commit = run("git", "-C", source, "rev-parse", "--short=12", "HEAD").strip()
version = run(packer, "--version")
check("--version", re.match(rf"vm-sfxpack [0-9.]+, commit {commit}\nstub: {re.escape(stub)}\nlicence: .*Apache-2.0.*"
                            r"LGPL-2.1-or-later.*THIRD-PARTY-NOTICES", version), version)

installer, target = os.path.join(work, "setup.exe"), os.path.join(work, "target")
examples = os.path.join(source, "examples", "extract")
run(packer, "--folder", os.path.join(examples, "files"), "--config", os.path.join(examples, "setup.xml"),
    "--output", installer)
# The runner the package ships reads the installer's exit code.
report = run(os.path.join(source, "scripts", "wine-run"), os.path.join(root, "usr/lib/vm-sfxstub/print-exit-code.exe"), "--",
             windows(installer), "--gui", "off", "--target", windows(target))
check("the installer runs", re.search(r"^exit: 0x00000000 ", report, re.MULTILINE) and "messagebox:" not in report,
      report)
compared = filecmp.dircmp(os.path.join(examples, "files"), target)
check("the unpacked files", os.path.isdir(target) and not (compared.left_only or compared.right_only or compared.diff_files),
      f"missing {compared.left_only}, extra {compared.right_only}, changed {compared.diff_files}")

alone = os.path.join(work, "alone")
os.makedirs(alone)
shutil.copy(packer, alone)
refused = run(os.path.join(alone, "vm-sfxpack"), "--folder", os.path.join(examples, "files"), "--output",
              os.path.join(alone, "setup.exe"), expect=1)
check("a packer without a stub", "no stub beside the packer" in refused and "lib/vm-sfxstub/vm-sfxstub.exe" in refused
      and not os.path.exists(os.path.join(alone, "setup.exe")), refused)

if failures:
    sys.exit("FAILED:\n" + "\n".join(failures))
shutil.rmtree(work)
print(f"debian package: {os.path.basename(deb)} installs, packs without --stub and its installer unpacks")
