#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The packer's fuzz targets, each from a small seed corpus.

run_fuzz_targets.py SOURCE_DIR BUILD_DIR FUZZ_DIR

A few seconds each, ten minutes each with VM_HARDEN_SCALE=full
(scripts/harden). Prints one "harden: fuzz" line per target with its
executions, coverage and crashes; any crash, leak or sanitizer report
fails. Skipped (77) when scripts/build-sanitized has not built the targets.
"""
import glob
import os
import re
import shutil
import subprocess
import sys

source, build, fuzz_dir = sys.argv[1:4]
seconds = 600 if os.environ.get("VM_HARDEN_SCALE") == "full" else 4
targets = ["pe_resources", "icon", "version", "verify", "config"]
if not all(os.path.exists(os.path.join(fuzz_dir, "fuzz_" + t)) for t in targets):
    print(f"the fuzz targets are not built in {fuzz_dir} (scripts/build-sanitized builds them)")
    sys.exit(77)
work = os.path.join(build, "fuzz-runs")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
stub = os.path.join(build, "bin", "vm-sfxstub.exe")

# Seeds from what the suite makes anyway: the stub, an installer the packer
# makes from a generated payload, the signed one, the icon, the documents.
installer = os.path.join(work, "installer.exe")
subprocess.run([os.path.join(build, "bin", "vm-sfxpack"), "--output", installer, "--config",
                os.path.join(source, "examples", "extract.xml"), "--payload",
                os.path.join(build, "payloads", "method-copy.7z")], check=True, capture_output=True)
images = [stub, installer, os.path.join(build, "payloads", "signed.exe")]
documents = sorted(glob.glob(os.path.join(source, "tests", "config", "*", "*.xml")))[:60]
seeds = {
    "pe_resources": images,
    "verify": images,
    "icon": [os.path.join(source, "ui", "stub.ico")],
    "config": documents + sorted(glob.glob(os.path.join(source, "examples", "*.xml"))),
}
version_seed = os.path.join(work, "version.txt")
with open(version_seed, "w") as f:
    f.write("ProductName=Vendor Setup\nFileVersion=1.2.3.4\nCompanyName=\u00dc \U0001d11e")
seeds["version"] = [version_seed]

failed = []
for target in targets:
    corpus = os.path.join(work, target)
    artifacts = os.path.join(work, target + "-crashes") + os.sep
    os.makedirs(corpus)
    os.makedirs(artifacts)
    for i, seed in enumerate(seeds[target]):
        shutil.copyfile(seed, os.path.join(corpus, f"seed-{i}"))
    result = subprocess.run([os.path.join(fuzz_dir, "fuzz_" + target), f"-max_total_time={seconds}",
                             "-timeout=30", "-rss_limit_mb=2048", "-print_final_stats=1",
                             f"-artifact_prefix={artifacts}", corpus],
                            capture_output=True, text=True, env=dict(os.environ, VM_FUZZ_STUB=stub))
    executions = re.findall(r"stat::number_of_executed_units: (\d+)", result.stderr)
    coverage = re.findall(r"cov: (\d+)", result.stderr)
    crashes = os.listdir(artifacts)
    print(f"harden: fuzz {target}: {executions[-1] if executions else '?'} executions, "
          f"coverage {coverage[-1] if coverage else '?'} edges, crashes {len(crashes)}")
    if result.returncode != 0 or crashes:
        failed.append(target)
        print(result.stderr[-6000:])
        print("inputs kept in " + artifacts)

if failed:
    sys.exit("FAILED: " + ", ".join(failed))
shutil.rmtree(work)
