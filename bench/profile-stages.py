#!/usr/bin/env python3
"""Splits a perf profile of vesk into the stages of the search, in percent of the samples.

    perf record -e cpu-clock:u -F 4000 --call-graph dwarf,16384 -o PROFILE -- build/rel/app/vesk ...
    bench/profile-stages.py PROFILE [COMMAND]

Reads `perf script` of PROFILE (the samples of the process named COMMAND, default vesk) and gives each
sample to the stage of the innermost frame of its call chain (inlined frames included) that belongs to
one: a memcpy or malloc goes to the stage that called it. STAGES below names each stage's functions by
pattern; a sample whose chain holds none of them is "other" and its innermost function is listed, so
that a renamed function shows up there rather than in the wrong stage.
"""

import collections
import re
import subprocess
import sys

# Stage, and the patterns of its functions (searched in the frame's symbol); a symbol that holds two
# stages' patterns goes to the first.
STAGES = [
    ("fix-up", r"ApplyUpdateSequence|FindUpdateSequenceFault|FixedUpRecord|GetFixedUpBlockRecord"),
    ("matching", r"NameMatcher|CUpcaseCtype|UpcaseTable"),
    ("names in place", r"FileNamesInPlace|CFileNameInPlace"),
    ("path resolution", r"ResolveResultPaths|GetParentPath|PathsOf|PassesAncestors|ReadAncestors|DirectoryKey|"
     r"JunctionTable"),
    ("output", r"AppendResultLine|AppendColumn|CharsetEncoder|AppendOemString|WriteStandardOutput|"
     r"ResultPrinter::Flush|ResultPrinter::Print"),
    ("record objects", r"ReadFileRecord|CFileRecord|CAttribute|FollowAttributeList|boost::pool|"
     r"CLogicalDisk::Release|FrameAllocator"),
    ("far reads ahead", r"PrefetchFarReads|KeptAt|Prefetch"),
    ("blocks and the scan loop", r"Scan::Records|Scan::Record|ReadBlock|TakeBlock|ReaderThread"),
    ("start and options", r"_dl_|VeskMain|process_command_line|OpenMft|ReadBootSector"),
]
PATTERNS = [(name, re.compile(pattern)) for name, pattern in STAGES]


def samples(profile, command):
    """The call chain of each sample, innermost frame first, as symbols."""
    script = subprocess.run(
        ["perf", "script", "-i", profile, "-F", "comm,ip,sym", "--comm", command],
        capture_output=True, text=True, check=True,
    ).stdout
    for block in script.split("\n\n"):
        frames = [line.strip() for line in block.splitlines()[1:] if line.strip()]
        # "ADDRESS SYMBOL" or "ADDRESS SYMBOL (inlined)"
        yield [frame.split(None, 1)[1] if " " in frame else frame for frame in frames]


def stage_of(chain):
    for symbol in chain:
        for name, pattern in PATTERNS:
            if pattern.search(symbol):
                return name
    return None


def main(argv):
    if len(argv) not in (1, 2):
        sys.exit(__doc__)
    counts = collections.Counter()
    others = collections.Counter()
    total = 0
    for chain in samples(argv[0], argv[1] if len(argv) > 1 else "vesk"):
        if not chain:
            continue
        total += 1
        stage = stage_of(chain)
        counts[stage or "other"] += 1
        if stage is None:
            others[chain[0]] += 1
    if total == 0:
        sys.exit("profile-stages: no samples")
    print(f"{total} samples")
    for name, count in counts.most_common():
        print(f"  {100.0 * count / total:5.1f}%  {name}")
    if others:
        print("other, by innermost function:")
        for symbol, count in others.most_common(8):
            print(f"  {100.0 * count / total:5.1f}%  {symbol}")


if __name__ == "__main__":
    main(sys.argv[1:])
