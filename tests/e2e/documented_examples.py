#!/usr/bin/env python3
"""Every example command of the README and the manual page is a case of one of the transcripts, the
files it names replaced as their "# -d VALUE is FILE" lines say, and an example shown
with what it prints shows what its case expects. An example without -d, which searches the volume
of the current directory (a different one on each machine), is not run.

Usage: documented_examples.py README.md vesk.1.in TRANSCRIPT...
"""

import re
import shlex
import sys

from run_transcript import read_cases, read_lines


def examples(readme, manual):
    """(command, the lines shown after it or None) of each example."""
    for block in re.findall(r"^```\w*\n(.*?)^```", readme, re.S | re.M):
        lines = block.splitlines()
        yield from [(lines[0][2:], lines[1:])] if lines[0].startswith("$ vesk ") else []
        yield from ((line, None) for line in lines if line.startswith("vesk "))
    for block in re.findall(r"^\.EX\n(.*?)^\.EE", manual, re.S | re.M):
        lines = block.replace("\\-", "-").replace("\\e", "\\").splitlines()
        yield lines[0], lines[1:]


def main():
    readme, manual, *transcripts = ("\n".join(read_lines(path)) for path in sys.argv[1:])
    where = {(option, value): file for transcript in transcripts for option, value, file in
             re.findall(r"^# (-d|-outfile) (\S+) is (\S+)$", transcript, re.M)}
    cases = {tuple(q or p for q, p in re.findall(r'"([^"]*)"|(\S+)', case.command)): case.lines("")
             for path in sys.argv[3:] for case in read_cases(path)}
    failures = total = 0
    for command, shown in examples(readme, manual):
        words = shlex.split(re.sub(r"\s+#\s.*", "", command))  # a comment, not the "#N" after a name
        redirected = ">" in words or "|" in words  # only vesk's part runs, its output not shown
        words = words[: min(words.index(w) for w in (">", "|") if w in words)] if redirected else words
        words = tuple(where.get(pair, pair[1]) for pair in zip([""] + words, words))
        total += 1
        if "-d" in words and words not in cases:
            print(f"{command}: no case of the transcript runs it")
        elif "-d" in words and shown is not None and not redirected and shown != cases[words]:
            print(f"{command}: shows {shown}, prints {cases[words]}")
        else:
            continue
        failures += 1
    print(f"{total} example(s), {failures} failed")
    return 1 if failures or not total else 0


if __name__ == "__main__":
    sys.exit(main())
