#!/bin/bash
# The search's whole output (results, summary, messages, exit code) through each disk image equals
# its output on the bare volume, for every option group that reads data.
#   equivalence.sh VESK VOLUMES
vesk=$(realpath "$1")
cd "$2" || exit 1
failures=0

# search VALUE OPTIONS...: the run's output, the elapsed time masked, and its exit code.
search() {
  local value=$1
  shift
  "$vesk" "*" -d "C:./$value" "$@" 2>&1 | sed -e 's/ in [0-9.e+-]* s\./ in T s./'
  echo "[exit ${PIPESTATUS[0]}]"
}

# compare VOLUME DISK...
compare() {
  local volume=$1 disk group
  shift
  for disk in "$@"; do
    for group in "-si -ssize -salloc" "-funused -nall" "-sd"; do
      # shellcheck disable=SC2086 # a group is several options
      if ! diff <(search "$volume" $group) <(search "$disk" $group) >/dev/null; then
        echo "differs from $volume: $disk $group"
        failures=$((failures + 1))
      fi
    done
  done
}

compare basic.img disk-mbr.img disk-logical.img disk-gpt.img disk-gpt.img#2 disk-gpt.img@3m disk-two.img#1 \
  disk-fixed.vhd disk-dynamic.vhd disk-vhdx.vhdx disk-vmdk.vmdk \
  disk-vmdkstream.vmdk disk-e01.E01 disk-e01s.E01 disk-split.001 disk-zero.000 disk-alpha.aa
compare basic.img disk-ebr.img disk-ebr.vhd disk-ebr.E01 disk-ebrsplit.001 disk-gptmoved.img disk-gptmoved.vhd \
  disk-chain.img disk-chain.vmdk disk-gptcut.img#2
compare junctions.img disk-two.img#2
compare geometry-4096-4096.img disk-gpt4k.img
exit $((failures > 0))
