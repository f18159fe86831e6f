#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the sample volume need, if any is missing:
# the compiler and libraries, Python for the end-to-end runners, the tools that make test volumes and
# disk images, and what the Debian package, the man page and the completion are checked with.
set -euo pipefail
packages=(g++ cmake make pkg-config clang-format python3 libboost1.81-dev libboost-regex1.81-dev libgtest-dev
          ntfs-3g ntfs-3g-dev sleuthkit
          libblkid-dev libewf-dev libvhdi-dev libvmdk-dev libvshadow-dev libbfio-dev libdeflate-dev zlib1g-dev
          fdisk gdisk dosfstools qemu-utils ewf-tools
          dpkg-dev file man-db groff-base bash-completion)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
