#!/usr/bin/env python3
"""An independent check of what a search finds: on every builder volume (tests/volumes/*.recipe) but
those its recipe damages on purpose, the (record number, full path) pairs that vesk prints equal what
The Sleuth Kit's fls lists for the same image. fls reads the directory indexes from the root down;
vesk reads every MFT record and climbs its parent references, so agreement means both ways through
the volume meet. A file whose names continue in extension records is listed by both under its base
record, with every name.

Usage: fls_differential.py VESK FLS VOLUMES RECIPES

Taken out of fls's listing, because vesk leaves it out by design: NTFS's own files in the root
(records below 24 named with "$": fls also lists $MFT under the extension record that keeps its
FILE_NAME), everything below $Extend and "System Volume Information" (vesk lists those only with
-fsystem), named streams ("name:stream"), and fls's own $OrphanFiles folder.
Allowed to differ: fls also lists an index entry whose name no FILE_NAME of its record carries any
more (the builder renames some records after the fact and leaves the index, as damage or an
interrupted rename would); vesk never reads indexes. Paths are compared in fls's form ("/"
separators, no leading one, no directory mark); fls's "record-type-id" is compared by its record.
"""

import glob
import os
import re
import sys
import urllib.parse

from run_transcript import run

# Each mode: what it compares, vesk's options, fls's options. A mode for deleted names (-fUSED beside
# fls -d) would meet index entries of reused records too, which fls lists under record 0.
MODES = [("names in use", ["-si", "-silent", "*"], ["-r", "-p", "-u"])]


def vesk_entries(vesk, image, options):
    code, out, err = run([vesk] + options + ["-d", image])
    if code != 0 or err:
        raise SystemExit(f"vesk on {image}: exit code {code}\n{err}")
    entries = set()
    for line in out.splitlines():
        record, path = line.split(" ", 1)
        entries.add((int(record), path[1:].rstrip("\\").replace("\\", "/")))
    return entries


def fls_entries(fls, image, options):
    code, out, err = run([fls] + options + [image])
    if code != 0:
        raise SystemExit(f"fls on {image}: exit code {code}\n{err}")
    entries = set()
    for line in out.splitlines():
        meta, path = line.split("\t", 1)  # "r/r 224-128-2:\tProjects/Alpha/shared.txt"
        record = int(re.match(r"\d+", meta.split()[-1]).group())
        top, leaf = path.split("/")[0], path.split("/")[-1]
        if ":" in leaf or top == "$OrphanFiles":
            continue
        if (record < 24 and path.startswith("$")) if top == path else top in ("$Extend", "System Volume Information"):
            continue
        entries.add((record, path))
    return entries


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
        # Every FILE_NAME the records carry: (base record, leaf name).
        carried = {(int(line["base"]) or int(line["rec"]), urllib.parse.unquote(line["path"]).split("\\")[-1])
                   for line in lines if line["kind"] == "name"}
        for mode, vesk_options, fls_options in MODES:
            found = vesk_entries(vesk, image, vesk_options)
            listed = fls_entries(fls, image, fls_options)
            failures += [f"{name}, {mode}: only vesk finds #{r} {p}" for r, p in sorted(found - listed)]
            failures += [f"{name}, {mode}: only fls finds #{r} {p}" for r, p in sorted(listed - found)
                         if (r, p.split("/")[-1]) in carried]
    print(*failures, f"{len(names)} volume(s), {len(failures)} difference(s)", sep="\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
