#!/bin/sh
# Writes the smallest file the PE32 rules allow: a DOS header whose e_lfanew is 64, a PE
# signature for i386 with an optional header of magic 0x10B, and the file ending 4 bytes after the
# certificate-table entry (e_lfanew + 164 bytes in all): too short for a PE32+ directory.
#   make_small_pe32.sh OUTPUT
set -e
out=$1
{
    printf 'MZ'
    head -c 58 /dev/zero
    printf '\100\000\000\000'          # e_lfanew = 64
    printf 'PE\000\000\114\001'        # signature, machine 0x14C
    head -c 18 /dev/zero
    printf '\013\001'                  # optional header magic 0x10B (offset 64 + 24)
    head -c 138 /dev/zero              # up to and including the certificate-table entry
} >"$out.tmp"
mv "$out.tmp" "$out"
