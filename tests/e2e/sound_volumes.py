#!/usr/bin/env python3
"""Usage: sound_volumes.py VESK GENVOL(or none) VOLUMES. A volume nobody damaged gets no damage note:
every builder volume whose recipe damages nothing, every disk and container made from them, and a
volume of the benchmarks' generator, searched for every name in every namespace, NTFS's own files
included, print nothing on standard error. With -funused, records not in use may get notes that say
so, and deleted files whose folders are gone the orphan note; nothing else."""

import glob
import os
import re
import sys
import tempfile

from fls_differential import ORPHAN_NOTE, manifest
from run_transcript import run

# Disks made damaged, cut short, without NTFS or of a kind that is refused, on purpose (tools/mkdisk.sh).
DAMAGED_DISKS = ("disk-e01bad.E01", "disk-e01gap.E01", "disk-gap.001", "disk-qcow2.qcow2", "disk-fat.img",
                 "disk-2e63.vhd", "disk-2tib.vhd", "disk-batpast.vhd", "disk-chunk0.E01", "disk-e01marks.E01",
                 "disk-e01reparse.E01", "disk-e01touch.E01",
                 "disk-gptbad.img", "disk-longchain.img", "disk-gptcut.img", "disk-gptcut2.img", "disk-gptpast.img",
                 "disk-hugecount.img", "disk-manyentries.img", "disk-pmbr.img", "disk-spread.vhd",
                 "disk-spreadcut.img")
# The first file of each image: a split image's first piece, a VMDK's descriptor, not its extents.
FIRST_FILE = re.compile(r".*(?<!-s\d{3})\.(img|vhd|vhdx|vmdk|E01)|.*\.(000|aa)|.*\.001")


def volumes(folder):
    """The images of folder's manifests that list no damage, and the first files of its disks and
    containers (each partition of the one with two NTFS partitions)."""
    for image in sorted(glob.glob(os.path.join(folder, "*.img.manifest"))):
        if not any(line["kind"] in ("patch", "raw") for line in manifest(image[:-9])):
            yield image[:-9]
    for disk in sorted(glob.glob(os.path.join(folder, "disk-*"))):
        name = os.path.basename(disk)
        first = FIRST_FILE.fullmatch(name) and not (name.endswith(".001") and os.path.exists(disk[:-3] + "000"))
        if first and name not in DAMAGED_DISKS:
            yield from [disk + "#1", disk + "#2"] if name == "disk-two.img" else [disk]


def notes(vesk, volume):
    """What the searches of volume print on standard error that they may not, and a failed exit."""
    wrong = []
    for extra in ([], ["-funused"]):
        code, _, err = run([vesk, "*", "-nall", "-fsystem", "-si", "-silent", "-d", volume] + extra)
        wrong += [f"{volume} {' '.join(extra)}: {line}" for line in err.splitlines() + [f"exit {code}"] * bool(code)
                  if not extra or not ORPHAN_NOTE.fullmatch(line)]
    return wrong


def main():
    vesk, genvol, folder = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="vesk-sound-") as scratch:
        checked = list(volumes(folder)) + ([os.path.join(scratch, "generated.img")] if genvol != "none" else [])
        if genvol != "none" and run([genvol, "20000", checked[-1]])[0] != 0:
            raise SystemExit("the generator failed")
        wrong = [line for volume in checked for line in notes(vesk, volume)]
    print(*wrong, f"{len(checked)} volume(s), {len(wrong)} note(s) where none belongs", sep="\n")
    return 1 if wrong else 0


sys.exit(main())
