#!/usr/bin/env python3
"""Usage: fls_differential.py VESK FLS VOLUMES RECIPES. On every builder volume but those its recipe
damages on purpose, the (record, path) pairs vesk prints equal those The Sleuth Kit's fls lists: fls
reads the directory indexes from the root down, vesk every MFT record and its parent references.

Left out of fls's listing, as vesk leaves them out by design: NTFS's own files in the root (records
below 24 named with "$"), what lies below $Extend and "System Volume Information" (vesk shows it
only with -fsystem), named streams ("name:stream") and what fls's $OrphanFiles holds below its own
entries (vesk prints an orphan under its orphan prefix, compared as $OrphanFiles). fls may also list an
index entry whose name no FILE_NAME of its record carries any more (the builder renames some records
and leaves the index, as an interrupted rename would); vesk never reads indexes. Paths are compared
in fls's form ("/" separators, no leading one, no directory mark).
"""

import glob
import os
import re
import sys
import urllib.parse

from run_transcript import run

# Each mode: what it compares, vesk's options, fls's options. Deleted names: fls finds them through
# the stale index entries of their directories, and puts a name whose parent reference no longer
# matches its directory's record in $OrphanFiles, where vesk shows it under its orphan prefix with a
# note; index entries of reused records fls lists under record 0, which carries no such name.
MODES = [("names in use", ["-si", "-silent", "*"], ["-r", "-p", "-u"]),
         ("deleted names", ["-si", "-silent", "-fUSED", "*"], ["-r", "-p", "-d"])]
ORPHAN_NOTE = re.compile(r"Unable to resolve path of #\d+\. MFC record #\d+\(\d+\) is gone: .*")
# The Sleuth Kit 4.11 cannot read clusters above 64 KiB; such volumes are read by libntfs-3g only.
FLS_LARGEST_CLUSTER = 65536


def listing(arguments, entry, note=None):
    """What entry(line) makes of each line the program prints (None: nothing); standard error may hold
    only lines that note matches."""
    code, out, err = run(arguments)
    if code != 0 or not all(note and note.fullmatch(line) for line in err.splitlines()):
        raise SystemExit(f"{' '.join(arguments)}: exit code {code}\n{err}")
    return {entry(line) for line in out.splitlines()} - {None}


def vesk_entry(line):
    record, path = line.replace("<ORPHANED FILE>", "\\$OrphanFiles", 1).split(" ", 1)
    return int(record), path[1:].rstrip("\\").replace("\\", "/")


def fls_entry(line):
    meta, path = line.split("\t", 1)  # "r/r 224-128-2:\tProjects/Alpha/shared.txt"
    record = int(re.match(r"\d+", meta.split()[-1]).group())
    top, leaf = path.split("/")[0], path.split("/")[-1]
    if ":" in leaf or (top == "$OrphanFiles" and path.count("/") != 1):
        return None
    if (record < 24 and path.startswith("$")) if top == path else top in ("$Extend", "System Volume Information"):
        return None
    return record, path


def manifest(image):
    """The lines of the image's manifest, each a dict of its fields (kind under "kind")."""
    with open(image + ".manifest", encoding="ascii") as text:
        return [dict([("kind", fields[0])] + [f.split("=", 1) for f in fields[1:]])
                for fields in (line.split(" ") for line in text.read().splitlines() if line and line[0] != "#")]


def main():
    vesk, fls, volumes, recipes = sys.argv[1:]
    failures = []
    names = sorted(os.path.basename(recipe)[:-7] for recipe in glob.glob(os.path.join(recipes, "*.recipe")))
    for name in names:
        image = os.path.join(volumes, name + ".img")
        lines = manifest(image)
        if any(line["kind"] in ("patch", "raw") for line in lines):
            continue
        if int(next(line for line in lines if line["kind"] == "volume")["cluster"]) > FLS_LARGEST_CLUSTER:
            print(f"{name}: not compared, fls cannot read clusters above 64 KiB")
            continue
        # Every FILE_NAME the records carry: (base record, leaf name).
        carried = {(int(line["base"]) or int(line["rec"]), urllib.parse.unquote(line["path"]).split("\\")[-1])
                   for line in lines if line["kind"] == "name"}
        for mode, vesk_options, fls_options in MODES:
            found = listing([vesk] + vesk_options + ["-d", image], vesk_entry, ORPHAN_NOTE)
            listed = listing([fls] + fls_options + [image], fls_entry)
            failures += [f"{name}, {mode}: only vesk finds #{r} {p}" for r, p in sorted(found - listed)]
            failures += [f"{name}, {mode}: only fls finds #{r} {p}" for r, p in sorted(listed - found)
                         if (r, p.split("/")[-1]) in carried]
    print(*failures, f"{len(names)} volume(s), {len(failures)} difference(s)", sep="\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
