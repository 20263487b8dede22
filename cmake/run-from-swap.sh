#!/usr/bin/env bash
# Marks a Windows executable to be run from the swap file when it lies on removable or
# network media (IMAGE_FILE_REMOVABLE_RUN_FROM_SWAP 0x0400 | IMAGE_FILE_NET_RUN_FROM_SWAP
# 0x0800 in the COFF header's Characteristics): a USB stick pulled or a share that stops
# answering then cannot take pages of the running program with it. GNU ld has no switch
# for these bits, so they are set after linking.
#   run-from-swap.sh EXE
set -euo pipefail
exe=$1
header=$(od -An -tu4 -j60 -N4 "$exe" | tr -d ' ')   # e_lfanew: where "PE\0\0" starts
at=$((header + 4 + 18))                              # Characteristics, after 18 bytes of COFF header
value=$(( $(od -An -tu2 -j"$at" -N2 "$exe" | tr -d ' ') | 0x0C00 ))
printf "\\x$(printf %02x $((value & 0xFF)))\\x$(printf %02x $((value >> 8)))" |
    dd of="$exe" bs=1 seek="$at" conv=notrunc status=none
