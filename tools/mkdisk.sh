#!/bin/bash
# Makes the whole-disk test images from the builder's volumes, with the tools users make them with:
# sfdisk and fdisk write the partition tables, mkfs.vfat the FAT partitions beside the NTFS ones,
# qemu-img the virtual disks, ewfacquire the EWF images, split the split raw images.
#
#   tools/mkdisk.sh VOLUMES_DIR
#
# Disks whose tables or containers are damaged or crafted get the fields no tool writes from
# tools/craftdisk.py.
#
# VOLUMES_DIR holds basic.img, junctions.img and geometry-4096-4096.img; the disks are written
# beside them (sparse where the tools allow), and the file mkdisk.done last.
set -euo pipefail
PATH=$PATH:/usr/sbin:/sbin # where Debian keeps the partitioning and formatting tools

dir=$1
craft="python3 $(cd "$(dirname "$0")" && pwd)/craftdisk.py"
cd "$dir"

MiB=1048576

# copy IMAGE DISK OFFSET: the volume IMAGE into DISK at byte OFFSET, holes kept.
copy() {
  dd if="$1" of="$2" bs=$MiB seek=$(($3 / MiB)) conv=notrunc,sparse status=none
}

# fat DISK SECTOR_SIZE START_SECTOR SIZE_BYTES: a FAT file system in a partition of DISK.
fat() {
  mkfs.vfat --invariant -i 1234ABCD -n FATPART -S "$2" --offset="$3" "$1" $(($4 / 1024)) >/dev/null 2>&1
}

# blank DISK SIZE_MIB
blank() {
  rm -f "$1"
  truncate -s $(($2 * MiB)) "$1"
}

# overwrite IMAGE NTH TEXT PATTERN: TEXT over the bytes of IMAGE at the NTH place (from 1) where the
# Perl pattern PATTERN matches; in an EWF image stored uncompressed (empty-block) that damages the
# chunk holding those bytes, whose checksum then fails.
overwrite() {
  local at
  at=$(LC_ALL=C grep -obUaP "$4" "$1" | sed -n "$2p" | cut -d: -f1)
  printf '%s' "$3" | dd of="$1" bs=1 seek="$at" conv=notrunc status=none
}

# Types: 7 NTFS, c FAT32 (LBA), 5 extended; in GPT both file systems are basic data partitions.
basic_data=EBD0A0A2-B9E5-4433-87C0-68B9B99AEFFA

# MBR, primary partitions: NTFS 1, FAT 2.
blank disk-mbr.img 12
sfdisk -q disk-mbr.img <<EOF
label: dos
start=2048, size=16384, type=7
start=18432, size=4096, type=c
EOF
copy basic.img disk-mbr.img $((2048 * 512))
fat disk-mbr.img 512 18432 $((2 * MiB))

# MBR with an extended partition: FAT 1, extended 2, logical FAT 5 and logical NTFS 6, so that the
# NTFS partition is reached through the second link of the chain.
blank disk-logical.img 16
sfdisk -q disk-logical.img <<EOF
label: dos
start=2048, size=4096, type=c
start=6144, size=26624, type=5
start=8192, size=4096, type=c
start=14336, size=16384, type=7
EOF
fat disk-logical.img 512 2048 $((2 * MiB))
fat disk-logical.img 512 8192 $((2 * MiB))
copy basic.img disk-logical.img $((14336 * 512))

# GPT: FAT 1, NTFS 2.
blank disk-gpt.img 12
sfdisk -q disk-gpt.img <<EOF
label: gpt
start=2048, size=4096, type=$basic_data
start=6144, size=16384, type=$basic_data
EOF
fat disk-gpt.img 512 2048 $((2 * MiB))
copy basic.img disk-gpt.img $((6144 * 512))

# GPT with 4096-byte logical sectors (sfdisk writes 512-byte tables to a file; fdisk takes the sector
# size): NTFS of 4096-byte sectors 1, FAT 2.
blank disk-gpt4k.img 12
printf 'label: gpt\nstart=256, size=2048, type=%s\nstart=2304, size=512, type=%s\n' \
  $basic_data $basic_data >disk-gpt4k.layout
printf 'I\ndisk-gpt4k.layout\nw\n' | fdisk -b 4096 disk-gpt4k.img >/dev/null
rm disk-gpt4k.layout
copy geometry-4096-4096.img disk-gpt4k.img $((256 * 4096))
fat disk-gpt4k.img 4096 2304 $((2 * MiB))

# Two NTFS partitions: basic 1, junctions 2.
blank disk-two.img 18
sfdisk -q disk-two.img <<EOF
label: gpt
start=2048, size=16384, type=$basic_data
start=18432, size=16384, type=$basic_data
EOF
copy basic.img disk-two.img $((2048 * 512))
copy junctions.img disk-two.img $((18432 * 512))

# A table without an NTFS partition.
blank disk-fat.img 4
sfdisk -q disk-fat.img <<EOF
label: dos
start=2048, size=4096, type=c
EOF
fat disk-fat.img 512 2048 $((2 * MiB))

# The extended-partition disk in every container (the MBR one in a segmented EWF image).
rm -f disk-*.vhd disk-*.vhdx disk-*.vmdk disk-*.qcow2 disk-*.E?? disk-*.0?? disk-alpha.??
qemu-img convert -f raw -O vpc -o subformat=fixed,force_size=on disk-logical.img disk-fixed.vhd
qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on disk-logical.img disk-dynamic.vhd
qemu-img convert -f raw -O vhdx disk-logical.img disk-vhdx.vhdx
qemu-img convert -f raw -O vmdk disk-logical.img disk-vmdk.vmdk
# The same with its grains compressed, as a VMDK made for streaming keeps them.
qemu-img convert -f raw -O vmdk -o subformat=streamOptimized disk-logical.img disk-vmdkstream.vmdk
# A container this program cannot read.
qemu-img convert -f raw -O qcow2 disk-fat.img disk-qcow2.qcow2
# EWF compressed in one segment, and the MBR disk uncompressed in segments of 1 MiB (the least
# ewfacquire takes); the pieces' runs of zeros are made holes again.
ewfacquire -u -q -c deflate:fast -t disk-e01 disk-logical.img >/dev/null
ewfacquire -u -q -S $MiB -t disk-e01s disk-mbr.img >/dev/null
split -b 4M -d -a 3 --numeric-suffixes=1 disk-logical.img disk-split.
# The same under split's other usual names: numbers from 000, and letters from aa.
split -b 4M -d -a 3 disk-logical.img disk-zero.
split -b 4M -a 2 disk-logical.img disk-alpha.
for f in disk-e01s.E?? disk-split.0?? disk-zero.0?? disk-alpha.??; do fallocate -d "$f"; done

# Damaged sets: a split image and an EWF image each without their third segment.
for n in 001 002 004; do ln disk-split.$n disk-gap.$n; done
for f in disk-e01s.E??; do
  case $f in *.E03) ;; *) ln "$f" "disk-e01gap.${f##*.}" ;; esac
done

# An EWF image with one corrupt chunk: a byte of the MFT record of \Projects\Alpha\Src\Core\Deep\leaf.txt
# changed in its name, where the uncompressed chunk's checksum no longer matches.
ewfacquire -u -q -c empty-block -t disk-e01bad disk-logical.img >/dev/null
overwrite disk-e01bad.E01 1 X 'l\x00e\x00a\x00f\x00\.\x00t\x00x\x00t\x00'

# Disks whose tables lie where a copy of guessed regions would miss them, each also in containers.
# An extended boot record far from every partition's start and end: NTFS is logical partition 6 at
# 30 MiB, its record just after partition 5.
blank disk-ebr.img 64
printf 'label: dos\nstart=2048,size=126976,type=5\nstart=4096,size=2048,type=83\nstart=61440,size=65536,type=7\n' |
  sfdisk -q disk-ebr.img
copy basic.img disk-ebr.img $((30 * MiB))
qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on disk-ebr.img disk-ebr.vhd
ewfacquire -u -q -c deflate:fast -t disk-ebr disk-ebr.img >/dev/null
split -b 16M -d -a 3 --numeric-suffixes=1 disk-ebr.img disk-ebrsplit.
for f in disk-ebrsplit.0??; do fallocate -d "$f"; done
# GPT entries moved to sector 20480, the NTFS partition at 20 MiB, the backup header zeroed.
blank disk-gptmoved.img 64
sgdisk -o disk-gptmoved.img >/dev/null
sgdisk -j 20480 disk-gptmoved.img >/dev/null
sgdisk -n 1:40960:+32M disk-gptmoved.img >/dev/null
copy basic.img disk-gptmoved.img $((20 * MiB))
dd if=/dev/zero of=disk-gptmoved.img bs=512 seek=$((64 * 2048 - 1)) count=1 conv=notrunc status=none
qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on disk-gptmoved.img disk-gptmoved.vhd
# 70 logical partitions before the NTFS one (#75 at 150 MiB): more than the tools make.
blank disk-chain.img 170
$craft chain disk-chain.img 70 $((150 * 2048))
copy basic.img disk-chain.img $((150 * MiB))
qemu-img convert -f raw -O vmdk disk-chain.img disk-chain.vmdk
# A chain of 8,300 logical partitions 2 MiB apart, longer than the tables read of a disk (32 MiB).
blank disk-longchain.img $(((4096 * 8300 + 40960) * 512 / MiB + 1))
$craft chain disk-longchain.img 8300 $((4096 * 8300 + 4096))
# 512 GPT partitions 1 GiB apart in a dynamic VHD of 600 GiB, none of them NTFS.
blank disk-spread.img $((600 * 1024))
spread=()
for i in $(seq 1 512); do spread+=(-n "$i:$((i * 2097152)):+1M"); done
sgdisk -o -S 512 "${spread[@]}" disk-spread.img >/dev/null
qemu-img convert -f raw -O vpc -o subformat=dynamic,force_size=on disk-spread.img disk-spread.vhd
# The same disk cut at 20 GiB: its table describes a longer disk, 19 of its partitions are inside.
mv disk-spread.img disk-spreadcut.img
truncate -s 20G disk-spreadcut.img
# Both GPT headers of a 1.2 GiB disk claiming 8,000,000 entries.
blank disk-manyentries.img 1200
sgdisk -o disk-manyentries.img >/dev/null
$craft gpt disk-manyentries.img 512 1 entry_count=8000000
$craft gpt disk-manyentries.img 512 $((1200 * 2048 - 1)) entry_count=8000000
# Both GPT headers of a 2 TiB disk claiming 2^32-1 entries before a partition area that leaves room
# for them: more than libblkid should be handed.
blank disk-hugecount.img $((2 * 1024 * 1024))
sgdisk -o disk-hugecount.img >/dev/null
for lba in 1 $((2 * 1024 * 1024 * 2048 - 1)); do
  $craft gpt disk-hugecount.img 512 $lba entries_lba=2 entry_count=4294967295 first_usable=3000000000 \
    last_usable=4000000000
done

# GPT tables that cannot be used, from the GPT disk (FAT 1, NTFS 2 at 3 MiB to 11 MiB).
last=$((12 * 2048 - 1))
cp disk-gpt.img disk-pmbr.img # headers zeroed: a protective MBR alone
dd if=/dev/zero of=disk-pmbr.img bs=512 seek=1 count=1 conv=notrunc status=none
dd if=/dev/zero of=disk-pmbr.img bs=512 seek=$last count=1 conv=notrunc status=none
cp disk-gpt.img disk-gptbad.img # a byte of each header's own sector number changed
printf 'X' | dd of=disk-gptbad.img bs=1 seek=$((512 + 30)) conv=notrunc status=none
printf 'X' | dd of=disk-gptbad.img bs=1 seek=$((last * 512 + 30)) conv=notrunc status=none
cp disk-gpt.img disk-gptpast.img # entries said to lie past the end of the disk
$craft gpt disk-gptpast.img 512 1 entries_lba=1000000
$craft gpt disk-gptpast.img 512 $last entries_lba=1000000
head -c $((23 * MiB / 2)) disk-gpt.img >disk-gptcut.img # the backup gone, both partitions whole
head -c $((10 * MiB)) disk-gpt.img >disk-gptcut2.img    # the NTFS partition cut short too

# Chunks of an EWF image of the GPT disk damaged in the order a search reads them last: a chunk of
# the MFT (records 48 to 79) and the disk's last chunk, which the partition table is read from first.
cp disk-gpt.img disk-marks.img
printf 'LAST-CHUNK-MARK' | dd of=disk-marks.img bs=1 seek=$((12 * MiB - 32768 + 512)) conv=notrunc status=none
ewfacquire -u -q -c empty-block -t disk-e01marks disk-marks.img >/dev/null
rm disk-marks.img
for pattern in 'l\x00e\x00a\x00f\x00\.\x00t\x00x\x00t\x00' 'LAST-CHUNK-MARK'; do
  overwrite disk-e01marks.E01 1 XXXX "$pattern"
done

# Two touching chunks of an EWF image damaged, read one after the other: the disk's second chunk,
# read with the partition table, then the volume's boot sector in the chunk after it. libewf lists
# them as one range of sectors that grows.
blank disk-touch.img 10
printf 'label: dos\nstart=128, size=16384, type=7\n' | sfdisk -q disk-touch.img
dd if=basic.img of=disk-touch.img bs=64k seek=1 conv=notrunc,sparse status=none
printf 'SECOND-CHUNK-MARK' | dd of=disk-touch.img bs=1 seek=40000 conv=notrunc status=none
ewfacquire -u -q -c empty-block -t disk-e01touch disk-touch.img >/dev/null
rm disk-touch.img
for pattern in 'SECOND-CHUNK-MARK' 'NTFS    '; do
  overwrite disk-e01touch.E01 1 XXXX "$pattern"
done

# An EWF image of the GPT disk whose chunk holding $Reparse's record is damaged: the table the
# search reads before its first record is refused, after the chunk's note.
cp disk-gpt.img disk-reparse.img
ewfacquire -u -q -c empty-block -t disk-e01reparse disk-reparse.img >/dev/null
rm disk-reparse.img
overwrite disk-e01reparse.E01 2 XXXX '\$\x00R\x00e\x00p\x00a\x00r\x00s\x00e\x00'

# A VMDK of a descriptor and an extent file; VHDs claiming 2 TiB and 2^63 bytes.
qemu-img convert -f raw -O vmdk -o subformat=twoGbMaxExtentSparse disk-logical.img disk-vmdks.vmdk
cp disk-fixed.vhd disk-2tib.vhd
$craft vhd-size disk-2tib.vhd $((2 * 1024 * MiB * 1024))
cp disk-fixed.vhd disk-2e63.vhd
$craft vhd-size disk-2e63.vhd 9223372036854775808
# A dynamic VHD whose block allocation table lies past its end; an EWF image of 0 sectors per chunk.
cp disk-dynamic.vhd disk-batpast.vhd
$craft vhd-bat disk-batpast.vhd $((1024 * 1024 * MiB))
cp disk-e01.E01 disk-chunk0.E01
$craft ewf-chunk disk-chunk0.E01 0

touch mkdisk.done
