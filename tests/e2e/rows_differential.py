#!/usr/bin/env python3
"""Usage: rows_differential.py VESK VOLUMES MKVOL FLS ISTAT MACTIME. The rows of --csv, --jsonl and
--bodyfile against independent readings of the same volumes.

On every builder volume: one CSV row per line of the plain search, in its order, with the line's
record and path, and the same notes on standard error; the JSON object of each row holds the same fields; on the undamaged volumes every
field the manifest (libntfs-3g) knows agrees. Lines and rows alike, -deferred prints the same bytes
after the scan, with the same notes. On a copy of basic whose time stamps are set apart
(distinct $STANDARD_INFORMATION and FILE_NAME times, a hard link with three), the eight times of
each row equal what The Sleuth Kit's istat reads, and mactime makes of the bodyfile a timeline
with those times, letters and names. On basic, each bodyfile line names its file and inode as
The Sleuth Kit's own bodyfile (fls -m) does, but for hard links: fls gives each of a file's names
the instance of its last FILE_NAME, the rows each name's own.
"""

import calendar
import collections
import csv
import glob
import io
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import urllib.parse

from fls_differential import manifest
from run_transcript import run

SEARCH = ["*", "-nall", "-funused", "-silent"]
TAGS = ["PSX", "W32", "DOS", "W&D"]
# Record: the times written over its $STANDARD_INFORMATION (None: left as built) and over each of
# its FILE_NAMEs in record order, created, modified, record changed, accessed; each FRACTION ticks
# (of 100 ns) after the second.
PATCHED = {69: (["2023-05-03T10:00:00", "2023-05-04T11:00:00", "2023-05-05T12:00:00", "2023-05-06T13:00:00"],
                [["2019-01-01T00:00:00", "2019-01-02T00:00:00", "2019-01-03T00:00:00", "2019-01-04T00:00:00"]]),
           224: (None, [["2001-02-03T04:05:06"] * 4, ["2002-02-03T04:05:06"] * 4, ["2003-02-03T04:05:06"] * 4])}
FRACTION = 1234567
TIMES = ["created", "modified", "record_changed", "accessed"]
# istat's "Created:\t2023-05-03 10:00:00.123456700 (UTC)", and "0000-00-00 00:00:00 (UTC)" for 0.
ISTAT_TIME = re.compile(r":\t(\d{4}-\d\d-\d\d) (\d\d:\d\d:\d\d)(?:\.(\d{7})00)? \(UTC\)")


def output(arguments, notes=None):
    """Standard output as the program wrote it; standard error is appended to notes."""
    code, out, err = run(arguments)
    if code != 0:
        raise SystemExit(f"{' '.join(arguments)}: exit code {code}")
    if notes is not None:
        notes.append(err)
    return out.replace("␍", "\r")


def csv_rows(vesk, image, notes=None):
    return list(csv.DictReader(io.StringIO(output([vesk, "--csv", *SEARCH, "-d", image], notes), newline="")))


def patch_times(mkvol, image, lines):
    """Writes PATCHED over image, a copy of the volume whose manifest lines are given."""
    at = {int(line["rec"]): int(line["at"]) for line in lines if line["kind"] == "record"}
    ticks = lambda iso: (calendar.timegm(tuple(map(int, re.split("[-T:]", iso))) + (0, 0, 0)) + 11644473600) \
        * 10**7 + FRACTION
    for record, (standard, names) in PATCHED.items():
        with open(image, "rb") as volume:
            volume.seek(at[record])
            header = volume.read(1024)
        first = struct.unpack_from("<H", header, 0x14)[0]  # the first attribute: $STANDARD_INFORMATION
        spots = [(first + struct.unpack_from("<H", header, first + 0x14)[0], standard)] if standard else []
        values = [int(line["value"]) for line in lines if line["kind"] == "name" and line["rec"] == str(record)]
        for offset, times in spots + [(value + 8, times) for value, times in zip(values, names)]:
            data = struct.pack("<4Q", *map(ticks, times)).hex()
            subprocess.run([mkvol, "patch", image, f"record={record}", f"offset={offset}", f"bytes={data}"], check=True)


def compare_with_manifest(name, rows, lines, failures):
    listed = {line["rec"] for line in lines if line["kind"] == "record" and line["attribute-list"] == "1"}
    named = {(line["base"] if line["base"] != "0" else line["rec"], line["units"]): line
             for line in lines if line["kind"] == "name"}
    record_size = next(line for line in lines if line["kind"] == "volume")["record"]
    for row in rows:
        line = named.get((row["record"], row["name"].encode("utf-16-be", "surrogatepass").hex()))
        if not line:
            failures.append(f"{name}: #{row['record']} {row['path']}: no such name in the manifest")
            continue
        known = {"parent_record": line["parent"], "parent_sequence": line["parent-seq"],
                 "namespace": TAGS[int(line["ns"])]}
        if line["base"] == "0":  # the flags and, without a list, the data are the base record's
            known.update(in_use=["false", "true"][int(line["inuse"])], directory=["false", "true"][int(line["dir"])])
        if line["base"] == "0" and line["rec"] not in listed:
            known["size"] = line["data"].replace("none", "0")
            known["allocated_size"] = {"none": "0", "resident": record_size}.get(line["alloc"], line["alloc"])
        # An orphan's path is vesk's finding (its parent's record was reused), and a DOS name's
        # ancestors are named in its own namespace.
        if line["ns"] != "2" and row["alternate_path"] == "false" and "?" not in line["path"] and \
                not row["path"].startswith("<ORPHANED FILE>"):
            known["path"] = urllib.parse.unquote(line["path"])
        failures += [f"{name}: #{row['record']} {row['path']}: {key} {row[key]}, manifest {value}"
                     for key, value in known.items() if row[key] != value]


def compare_times(image, rows, istat, failures):
    for record in PATCHED:
        text = output([istat, "-z", "UTC", image, str(record)])
        read = [("1970-01-01" if day == "0000-00-00" else day) + f"T{time}.{fraction or '0' * 7}Z"
                for day, time, fraction in ISTAT_TIME.findall(text)]
        names = re.findall(r"^Name: (.*)$", text, re.M)
        for row in (row for row in rows if row["record"] == str(record)):
            expected = [row["si_" + time] for time in TIMES] + [row["fn_" + time] for time in TIMES]
            at = 4 + 4 * names.index(row["name"])
            if read[:4] + read[at:at + 4] != expected:
                failures.append(f"#{record} {row['name']}: rows give {expected}, istat {read[:4] + read[at:at + 4]}")


def compare_timeline(vesk, image, rows, mactime, failures):
    body = image + ".body"
    with open(body, "w", encoding="utf-8") as file:
        file.write(output([vesk, "--bodyfile", *SEARCH, "-d", image]))
    timeline = csv.DictReader(io.StringIO(output([mactime, "-b", body, "-d", "-y", "-z", "UTC"]), newline=""))
    found = {(entry["Date"], entry["Type"], entry["File Name"]) for entry in timeline
             if not entry["Date"].startswith("0000")}  # 1970-01-01, the builder's clock
    letters = {}
    for row in rows:
        for prefix, suffix in (("si_", ""), ("fn_", " ($FILE_NAME)")):
            name = row["path"] + suffix + ("" if row["in_use"] == "true" else " (deleted)")
            for at, time in enumerate(["modified", "accessed", "record_changed", "created"]):
                if not row[prefix + time].startswith("1970"):
                    letters.setdefault((row[prefix + time][:19] + "Z", name), ["."] * 4)[at] = "macb"[at]
    expected = {(date, "".join(types), name) for (date, name), types in letters.items()}
    failures += [f"timeline: only the rows give {e}" for e in sorted(expected - found)]
    failures += [f"timeline: only mactime gives {f}" for f in sorted(found - expected)]


def compare_with_fls(vesk, image, fls, failures):
    key = lambda line: tuple(line.split("|")[1:3])  # "/Trash/gone.txt ($FILE_NAME) (deleted)", "244-48-3"
    ours = {(name.replace("\\", "/"), inode) for name, inode in
            map(key, output([vesk, "--bodyfile", "*", "-funused", "-silent", "-d", image]).splitlines())}
    names = collections.Counter(inode.split("-")[0] for _, inode in ours if "-48-" in inode)
    listed = set(map(key, output([fls, "-m", "", "-r", image]).splitlines()))
    failures += [f"bodyfile: fls -m has no {name}|{inode}" for name, inode in sorted(ours - listed)
                 if names[inode.split("-")[0]] == 1]


def main():
    vesk, volumes, mkvol, fls, istat, mactime = sys.argv[1:]
    failures = []
    for image in sorted(path[:-9] for path in glob.glob(os.path.join(volumes, "*.img.manifest"))):
        notes = []  # the rows bring no note of their own on these volumes
        name, lines, rows = os.path.basename(image)[:-4], manifest(image), csv_rows(vesk, image, notes)
        plain = [line.split(" ", 1) for line in output([vesk, "-si", *SEARCH, "-d", image], notes).splitlines()]
        if [[row["record"], row["path"]] for row in rows] != [[n, path.rstrip("\\")] for n, path in plain]:
            failures.append(f"{name}: the rows are not the lines of the plain search, in order")
        if notes[0] != notes[1]:
            failures.append(f"{name}: the rows' notes differ from the lines'")
        text = lambda value: "" if value is None else json.dumps(value) if isinstance(value, bool) else str(value)
        objects = [json.loads(line) for line in output([vesk, "--jsonl", *SEARCH, "-d", image]).splitlines()]
        if [{key: text(value) for key, value in o.items()} for o in objects] != rows:
            failures.append(f"{name}: the JSON objects do not hold the CSV rows' fields")
        for form in ([], ["--csv"], ["--jsonl"], ["--bodyfile"]):
            search, notes = [vesk, *form, "-si", "-ssize", "-salloc", "-snamespace", *SEARCH, "-d", image], []
            if output(search, notes) != output(search + ["-deferred"], notes) or \
                    sorted(notes[0].splitlines()) != sorted(notes[1].splitlines()):
                failures.append(f"{name}: -deferred {' '.join(form)} differs from the search that streams")
        if not any(line["kind"] in ("patch", "raw") for line in lines):
            compare_with_manifest(name, rows, lines, failures)
    compare_with_fls(vesk, os.path.join(volumes, "basic.img"), fls, failures)
    with tempfile.TemporaryDirectory(prefix="vesk-rows-") as scratch:
        image = os.path.join(scratch, "times.img")
        shutil.copy(os.path.join(volumes, "basic.img"), image)
        patch_times(mkvol, image, manifest(os.path.join(volumes, "basic.img")))
        rows = csv_rows(vesk, image)
        compare_times(image, rows, istat, failures)
        compare_timeline(vesk, image, rows, mactime, failures)
    print(*failures, f"{len(failures)} difference(s)", sep="\n")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
