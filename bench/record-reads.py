#!/usr/bin/env python3
"""Records the reads a program makes of one device or image, for vesk-replay to make them again.

    bench/record-reads.py [-cold] -o TRACE DEVICE -- PROGRAM [ARGUMENT...]

Runs PROGRAM under strace (every thread) and writes to TRACE, in the order the calls were made, each
positioned read of DEVICE ("read FD OFFSET LENGTH": pread64 with the length asked for, preadv2 with the
length it returned) and each read-ahead hint ("advise FD OFFSET LENGTH": posix_fadvise WILLNEED). Reads
of other files, and preadv2 calls that found the page cache empty (RWF_NOWAIT), are left out. With -cold
the page cache is dropped first (sync; echo 3 > /proc/sys/vm/drop_caches, as root), since a search reads
differently when the volume is cached. Prints how many reads were large (the MFT's blocks) and how many
small (the far reads between them). PROGRAM's own output is discarded.
"""

import os
import re
import subprocess
import sys
import tempfile

CALLS = ("pread64", "preadv2", "fadvise64")
# The MFT is read in blocks of a few MiB; anything smaller is a read elsewhere.
BLOCK_BYTES = 1 << 20

CALL = re.compile(r"^(\w+)\((\d+)<(.*?)(?:<[^<>]*>)?>,\s*(.*)\)\s+= (-?\d+)")


def usage():
    sys.stderr.write(__doc__.split("\n\n")[1] + "\n")
    sys.exit(2)


def joined_calls(lines):
    """strace's lines with each call split between threads ("<unfinished ...>", "<... resumed>") joined,
    in the order the calls began."""
    pending = {}
    calls = []
    for line in lines:
        pid, _, rest = line.rstrip("\n").partition(" ")
        rest = rest.lstrip()
        if rest.endswith("<unfinished ...>"):
            pending[pid] = len(calls)
            calls.append(rest[: -len("<unfinished ...>")].rstrip())
        elif rest.startswith("<... "):
            at = pending.pop(pid, None)
            if at is not None:
                calls[at] = calls[at] + rest[rest.index(">") + 1 :]
        else:
            calls.append(rest)
    return calls


def requests(calls, device):
    """(kind, fd, offset, length) of every call on device."""
    for call in calls:
        match = CALL.match(call)
        if not match:
            continue
        name, fd, path, arguments, result = match.groups()
        if name not in CALLS or os.path.realpath(path) != device:
            continue
        fields = [field.strip() for field in arguments.rsplit(",", 3)]
        result = int(result)
        if name == "pread64" and result >= 0:
            yield "read", fd, int(fields[-1]), int(fields[-2])
        elif name == "preadv2" and result > 0:
            yield "read", fd, int(fields[-2]), result
        elif name == "fadvise64" and fields[-1] == "POSIX_FADV_WILLNEED":
            yield "advise", fd, int(fields[-3]), int(fields[-2])


def main(argv):
    cold = False
    trace = None
    while argv and argv[0] != "--" and argv[0].startswith("-"):
        if argv[0] == "-cold":
            cold = True
            argv = argv[1:]
        elif argv[0] == "-o" and len(argv) > 1:
            trace = argv[1]
            argv = argv[2:]
        else:
            usage()
    if trace is None or len(argv) < 3 or argv[1] != "--":
        usage()
    device, command = os.path.realpath(argv[0]), argv[2:]

    if cold:
        subprocess.run(["sync"], check=True)
        with open("/proc/sys/vm/drop_caches", "w") as caches:
            caches.write("3\n")
    with tempfile.NamedTemporaryFile("r", suffix=".strace") as raw:
        subprocess.run(
            ["strace", "-f", "-y", "-qq", "-s", "0", "-e", "trace=" + ",".join(CALLS), "-o", raw.name]
            + command,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
            check=False,
        )
        found = list(requests(joined_calls(raw), device))

    blocks = [r for r in found if r[0] == "read" and r[3] >= BLOCK_BYTES]
    far = [r for r in found if r[0] == "read" and r[3] < BLOCK_BYTES]
    advised = [r for r in found if r[0] == "advise"]
    with open(trace, "w") as out:
        for kind, fd, offset, length in found:
            out.write(f"{kind} {fd} {offset} {length}\n")
    print(
        f"{trace}: {len(blocks)} block reads of {sum(r[3] for r in blocks)} bytes, "
        f"{len(far)} smaller reads of {sum(r[3] for r in far)} bytes, "
        f"{len(advised)} hints of {sum(r[3] for r in advised)} bytes"
    )
    if not found:
        sys.exit(f"record-reads: no read of {device} recorded (is strace installed?)")


if __name__ == "__main__":
    main(sys.argv[1:])
