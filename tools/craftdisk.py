#!/usr/bin/env python3
"""Writes the partition-table and container structures of damaged or crafted test disks that no
partitioning tool makes: a chain of logical partitions longer than the tools allow, GPT headers with
changed fields (their checksum made right again, so that only the field is wrong) and a VHD footer
claiming another size.

  craftdisk.py chain DISK COUNT VOLUME_SECTOR
      an MBR whose extended partition holds COUNT logical partitions of 1 MiB, 2 MiB apart from
      sector 2048 on, then one of 16 MiB (type 7) at VOLUME_SECTOR; DISK must be large enough
  craftdisk.py gpt DISK SECTOR_SIZE LBA FIELD=VALUE...
      sets fields of the GPT header at LBA (my_lba, first_usable, last_usable, entries_lba,
      entry_count, entry_size) and its checksum
  craftdisk.py vhd-size VHD BYTES
      sets the original and current size of a VHD footer at the end of the file, and its checksum
  craftdisk.py vhd-bat VHD OFFSET
      sets where a dynamic VHD's header (at 512) says its block allocation table lies, and its checksum
  craftdisk.py ewf-chunk E01 SECTORS
      sets the sectors per chunk of an EWF image's volume section, and its checksum
"""

import struct
import sys
import zlib

GPT_FIELDS = {"my_lba": ("<Q", 24), "first_usable": ("<Q", 40), "last_usable": ("<Q", 48),
              "entries_lba": ("<Q", 72), "entry_count": ("<I", 80), "entry_size": ("<I", 84)}


def mbr_entry(kind, start, length):
    return struct.pack("<B3sB3sII", 0, b"\0\0\0", kind, b"\0\0\0", start, length)


def write_record(disk, sector, entries):
    record = bytearray(512)
    for i, entry in enumerate(entries):
        record[446 + 16 * i:462 + 16 * i] = entry
    record[510:512] = b"\x55\xaa"
    disk.seek(sector * 512)
    disk.write(record)


def chain(path, count, volume_sector):
    with open(path, "r+b") as disk:
        disk.seek(0, 2)
        sectors = disk.tell() // 512
        write_record(disk, 0, [mbr_entry(5, 2048, sectors - 2048)])
        links = [2048 + 4096 * i for i in range(count)] + [volume_sector - 2048]
        for i, ebr in enumerate(links):
            last = i == len(links) - 1
            data = mbr_entry(7 if last else 0x83, 2048, 32768 if last else 2048)
            entries = [data] if last else [data, mbr_entry(5, links[i + 1] - 2048, 4096)]
            write_record(disk, ebr, entries)


def gpt(path, sector_size, lba, assignments):
    with open(path, "r+b") as disk:
        disk.seek(lba * sector_size)
        header = bytearray(disk.read(92))
        for assignment in assignments:
            name, value = assignment.split("=")
            form, offset = GPT_FIELDS[name]
            struct.pack_into(form, header, offset, int(value))
        struct.pack_into("<I", header, 16, 0)
        struct.pack_into("<I", header, 16, zlib.crc32(bytes(header)))
        disk.seek(lba * sector_size)
        disk.write(header)


def vhd_size(path, size):
    with open(path, "r+b") as vhd:
        vhd.seek(-512, 2)
        footer = bytearray(vhd.read(512))
        struct.pack_into(">QQ", footer, 40, size, size)  # original and current size
        struct.pack_into(">I", footer, 64, 0)
        struct.pack_into(">I", footer, 64, ~sum(footer) & 0xFFFFFFFF)
        vhd.seek(-512, 2)
        vhd.write(footer)


def vhd_bat(path, offset):
    with open(path, "r+b") as vhd:
        vhd.seek(512)
        header = bytearray(vhd.read(1024))
        struct.pack_into(">Q", header, 16, offset)
        struct.pack_into(">I", header, 36, 0)
        struct.pack_into(">I", header, 36, ~sum(header) & 0xFFFFFFFF)
        vhd.seek(512)
        vhd.write(header)


def ewf_chunk(path, sectors):
    with open(path, "r+b") as ewf:
        image = ewf.read()
        at = image.index(b"volume\0") + 76  # the section's data follows its 76-byte descriptor
        data = bytearray(image[at:at + 1052])
        struct.pack_into("<I", data, 8, sectors)
        struct.pack_into("<I", data, 1048, zlib.adler32(bytes(data[:1048])))
        ewf.seek(at)
        ewf.write(data)


def main(args):
    if args[0] == "chain":
        chain(args[1], int(args[2]), int(args[3]))
    elif args[0] == "gpt":
        gpt(args[1], int(args[2]), int(args[3]), args[4:])
    elif args[0] == "vhd-size":
        vhd_size(args[1], int(args[2]))
    elif args[0] == "vhd-bat":
        vhd_bat(args[1], int(args[2]))
    elif args[0] == "ewf-chunk":
        ewf_chunk(args[1], int(args[2]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
