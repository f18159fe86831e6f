#!/usr/bin/env python3
"""Runs the built program for every case of one transcript and compares what it prints, exactly.

Usage: run_transcript.py VESK VOLUMES(images) RECIPES(tests/volumes) MKVOL(the builder) FILE.transcript

A transcript is UTF-8 text, one case after another:
  # text           a comment (a line that begins with "# ")
  $ vesk ARG ...   one run; a case lasts until the next "$ " line. Arguments split at blanks, and
                   "double quotes" group one argument that holds blanks. Words NAME=VALUE before
                   "vesk" are set in its environment, which otherwise has LC_ALL=C.UTF-8.
  % COMMAND        a bash command run in {SCRATCH} before the run (a copy of an image, a patch
                   by {MKVOL}, the volume builder, ...); the case fails if it fails
  line             an expected line of standard output, verbatim
  ! line           an expected line of standard error, in order among the error lines
  < FILE, ! < FILE the lines of FILE (a path from the transcript's folder), as expected lines of
                   standard output or standard error
  > line           an expected line of the file that -outfile names, read as UTF-16LE (as UTF-8
                   when the run writes rows, --csv, --jsonl or --bodyfile); a case with such
                   lines, or with a lone ">", checks that the file holds just them
  [exit N]         the expected exit code; a case without it expects 0
  [in order]       the case runs again with standard error sent into standard output, whose
                   lines must then come in the order of the expected lines above
Empty lines at the end of a case separate cases; they are no expected lines. In every line,
{NAME} stands for the image of builder volume NAME (RECIPES/NAME.recipe), else for the file NAME
of VOLUMES (a disk image of tools/mkdisk.sh, {disk-gpt.img}), and {SCRATCH} for an empty folder of
this case. The elapsed time of the summary is written "T" (" in T s."), and a carriage return "␍".
"""

import difflib
import os
import re
import subprocess
import sys
import tempfile

RUN_LIMIT = 120  # seconds; far more than any run takes, so only a hang comes near it


class Case:
    def __init__(self, line_number, command):
        self.line_number, self.command = line_number, command
        self.setup, self.expected, self.exit, self.in_order = [], [], 0, False

    def lines(self, *kinds):
        return [text for kind, text in self.expected if kind in kinds]


def read_lines(path):
    with open(path, encoding="utf-8") as text:
        return text.read().split("\n")


def read_cases(path):
    cases = []
    for number, line in enumerate(read_lines(path), 1):
        if line.startswith("$ "):
            cases.append(Case(number, line[2:]))
        elif line.startswith("# ") or not cases and not line:
            continue
        elif not cases:
            raise SystemExit(f"{path}:{number}: a line before the first case")
        elif line.startswith(("< ", "! < ")):
            kind, name = line.split("< ", 1)
            included = read_lines(os.path.join(os.path.dirname(path), name))[:-1]
            cases[-1].expected += [(kind, text) for text in included]
        elif line.startswith("% "):
            cases[-1].setup.append(line[2:])
        elif re.fullmatch(r"\[exit -?\d+\]", line):
            cases[-1].exit = int(line[6:-1])
        elif line in ("[in order]", ">"):
            cases[-1].in_order |= line == "[in order]"
            cases[-1].expected += [(">", None)] if line == ">" else []
        else:
            kind = line[:2] if line.startswith(("! ", "> ")) else ""
            cases[-1].expected.append((kind, line[len(kind):]))
    for case in cases:
        while case.expected and case.expected[-1] == ("", ""):
            case.expected.pop()
    return cases


def as_lines(text, prefix=""):
    """The lines of text, each after prefix; a last line without its line feed is marked."""
    lines = [prefix + line for line in text.split("\n")]
    return lines[:-1] + ([] if lines[-1] == prefix else [lines[-1] + " [no line feed at the end]"])


def run(arguments, settings=(), merged=False):
    """Runs a program as a user would, standard input empty, in an environment with LC_ALL=C.UTF-8
    unless settings (NAME=VALUE) say otherwise. Its exit code (None when it was killed after
    RUN_LIMIT seconds), standard output and standard error (empty when merged into the output)."""
    environment = {k: v for k, v in os.environ.items() if not k.startswith(("LC_", "LANG"))}
    environment["LC_ALL"] = "C.UTF-8"
    environment.update(setting.split("=", 1) for setting in settings)
    try:
        done = subprocess.run(arguments, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT if merged else subprocess.PIPE,
                              env=environment, timeout=RUN_LIMIT)
    except subprocess.TimeoutExpired:
        return None, "", ""
    decode = lambda data: re.sub(r" in [0-9.e+-]+ s\.", " in T s.",
                                 (data or b"").decode("utf-8", "backslashreplace").replace("\r", "␍"))
    return done.returncode, decode(done.stdout), decode(done.stderr)


def run_case(case, vesk, volumes, recipes, mkvol):
    """An empty list if the case passes, else the lines that report its failure."""
    with tempfile.TemporaryDirectory(prefix="vesk-transcript-") as scratch:

        def value(match):
            name = match.group(1)
            if name in ("SCRATCH", "MKVOL"):
                return scratch if name == "SCRATCH" else mkvol
            if os.path.exists(os.path.join(recipes, name + ".recipe")):
                return os.path.join(volumes, name + ".img")
            # Other files beside the volumes, such as the disk images made from them, by file name.
            return os.path.join(volumes, name) if os.path.exists(os.path.join(volumes, name)) else match.group(0)

        substitute = lambda text: re.sub(r"\{([\w.-]+)\}", value, text)
        for command in case.setup:
            done = subprocess.run(["bash", "-c", substitute(command)], cwd=scratch, capture_output=True)
            if done.returncode != 0:
                return [f"% {command}", done.stderr.decode(errors="backslashreplace")]
        words = [quoted or plain for quoted, plain in re.findall(r'"([^"]*)"|(\S+)', substitute(case.command))]
        settings = []
        while words and re.fullmatch(r"[A-Z_]+=.*", words[0]):
            settings.append(words.pop(0))
        code, out, err = run([vesk] + words[1:], settings)  # words[0] is "vesk"
        expected = case.lines("") + ["! " + line for line in case.lines("! ")]
        actual = as_lines(out) + as_lines(err, "! ")
        if case.lines(">", "> "):
            expected += ["> " + line for line in case.lines("> ")]
            outfile = words[words.index("-outfile") + 1] if "-outfile" in words else ""
            if os.path.exists(outfile):
                with open(outfile, "rb") as file:
                    rows = {"--csv", "--jsonl", "--bodyfile"} & set(words)
                    text = file.read().decode("utf-8" if rows else "utf-16-le", "backslashreplace")
                    actual += as_lines(text.replace("\r", "␍"), "> ")
            else:
                actual.append("> [no output file]")
        expected.append(f"[exit {case.exit}]")
        actual.append(f"[exit {code}]" if code is not None else f"[killed after {RUN_LIMIT} s]")
        if case.in_order:
            code, merged, _ = run([vesk] + words[1:], settings, True)
            expected += ["[in order]"] + case.lines("", "! ")
            actual += ["[in order]"] + as_lines(merged)
        expected = [substitute(line) for line in expected]
        return [] if actual == expected else list(difflib.unified_diff(expected, actual, "expected", "actual", lineterm=""))


def main():
    vesk, volumes, recipes, mkvol, transcript = map(os.path.abspath, sys.argv[1:])
    cases = read_cases(transcript)
    failures = 0
    for case in cases:
        report = run_case(case, vesk, volumes, recipes, mkvol)
        if report:
            failures += 1
            print(f"{transcript}:{case.line_number}: $ {case.command}", *report, "", sep="\n")
    print(f"{len(cases)} case(s), {failures} failed")
    return 1 if failures or not cases else 0


if __name__ == "__main__":
    sys.exit(main())
