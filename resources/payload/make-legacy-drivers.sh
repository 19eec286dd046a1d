#!/usr/bin/env bash
# Writes the stand-ins for the card's two Windows 95/98 drivers, which a
# 32-bit compiler cannot build:
#   Vesk.Drv  a 16-bit Windows driver library (NE format) with one code
#             segment whose exported DriverProc returns 0, so it refuses
#             DRV_LOAD and never stays loaded;
#   Vesk.VxD  a virtual device driver (LE format, module type VxD) whose one
#             page holds the Device Descriptor Block of "VESK" and no code.
# Both start with an MZ header and DOS stub, with the new header at 0x80.
#
# usage: make-legacy-drivers.sh OUTPUT_DIR
set -euo pipefail
out_dir=$1
mkdir -p "$out_dir"

# Little-endian fields and byte strings, written to standard output.
u8()  { printf "\\x$(printf %02x $(($1 & 255)))"; }
u16() { u8 $(($1)); u8 $(($1 >> 8)); }
u32() { u16 $(($1 & 0xFFFF)); u16 $((($1 >> 16) & 0xFFFF)); }
text() { printf '%s' "$1"; }
pascal() { u8 ${#1}; text "$1"; }         # length byte, then the characters
zeros() { head -c "$1" /dev/zero; }

new_header=0x80

# MZ header and the DOS stub that prints a line and ends; the new header
# follows at `new_header`.
dos_stub() {
  local message=$1
  text MZ
  u16 $((new_header)); u16 1          # bytes on the last page, pages
  u16 0; u16 4                        # relocations, header paragraphs
  u16 0; u16 0xFFFF                   # minimum and maximum extra paragraphs
  u16 0; u16 0xB8                     # SS, SP
  u16 0; u16 0; u16 0                 # checksum, IP, CS
  u16 0x40; u16 0                     # relocation table offset, overlay
  zeros 32                            # reserved, OEM fields
  u32 $((new_header))                 # e_lfanew
  # push cs / pop ds / mov dx, 0x0E / mov ah, 9 / int 21h / mov ax, 4C01h / int 21h
  printf '\x0e\x1f\xba\x0e\x00\xb4\x09\xcd\x21\xb8\x01\x4c\xcd\x21'
  text "$message"; printf '\r\n$'
  zeros $((new_header - 0x40 - 14 - ${#message} - 3))
}

# --- Vesk.Drv -------------------------------------------------------------
# NE header (0x40 bytes), then its tables in the usual order, then the code
# segment at a 16-byte boundary (alignment shift 4).
ne_segments=$((0x40))                                  # one entry of 8 bytes
ne_resident=$((ne_segments + 8))                       # also the empty resource table
resident_size=$((1 + 4 + 2 + 1 + 10 + 2 + 1))          # VESK, DRIVERPROC, end
ne_modrefs=$((ne_resident + resident_size))            # no module references
ne_imported=$ne_modrefs                                # one empty name
ne_entries=$((ne_imported + 1))
entry_size=$((2 + 3 + 1))                              # one bundle, one entry, end
description="Marlune Wave Driver (stand-in)"
nonresident=$((new_header + ne_entries + entry_size))  # absolute file offset
nonresident_size=$((1 + ${#description} + 2 + 1))
code_offset=$(( (nonresident + nonresident_size + 15) / 16 * 16 ))
code_size=7

{
  dos_stub "This program requires Microsoft Windows."
  text NE; u8 5; u8 10                # linker version
  u16 $ne_entries; u16 $entry_size
  u32 0                               # CRC
  u16 0x8000                          # library module, no automatic data segment
  u16 0; u16 0; u16 0                 # automatic data segment, heap, stack
  u32 0; u32 0                        # CS:IP (no initialisation routine), SS:SP
  u16 1; u16 0                        # segments, module references
  u16 $nonresident_size
  u16 $ne_segments; u16 $ne_resident; u16 $ne_resident
  u16 $ne_modrefs; u16 $ne_imported
  u32 $nonresident
  u16 0; u16 4; u16 0                 # movable entries, alignment shift, resource segments
  u8 2; u8 0                          # target: Windows; no further flags
  u16 0; u16 0; u16 0                 # gangload area, minimum code swap
  u16 0x030A                          # expected Windows version 3.10
  # segment 1: sector, length in file, flags (fixed code, preload), allocation
  u16 $((code_offset >> 4)); u16 $code_size; u16 0x0040; u16 $code_size
  pascal VESK; u16 0; pascal DRIVERPROC; u16 1; u8 0
  u8 0                                # imported names: the empty name only
  u8 1; u8 1; u8 0x01; u16 0; u8 0    # 1 entry in fixed segment 1: exported, offset 0
  pascal "$description"; u16 0; u8 0
  zeros $((code_offset - nonresident - nonresident_size))
  # xor ax, ax / xor dx, dx / retf 16: DriverProc(DWORD, HDRVR, UINT, LPARAM, LPARAM) returns 0L
  printf '\x31\xc0\x31\xd2\xca\x10\x00'
} >"$out_dir/Vesk.Drv"

# --- Vesk.VxD -------------------------------------------------------------
# LE header of a Windows VxD (0xC4 bytes), its loader and fixup tables, then
# the one data page with the Device Descriptor Block.
le_objects=$((0xC4))                                   # one entry of 24 bytes
le_pagemap=$((le_objects + 24))                        # one entry of 4 bytes
le_resident=$((le_pagemap + 4))                        # also the empty resource table
resident_size=$((1 + 4 + 2 + 1 + 8 + 2 + 1))           # VESK, VESK_DDB, end
le_entries=$((le_resident + resident_size))
entry_size=$((4 + 5 + 1))                              # one 32-bit bundle, one entry, end
le_fixpages=$((le_entries + entry_size))               # two offsets: no fixups
le_fixrecords=$((le_fixpages + 8))
le_imports=$le_fixrecords                              # no imported modules or procedures
loader_size=$((le_fixpages - le_objects))
fixup_size=$((le_fixrecords - le_fixpages))
description="Marlune Virtual Device (stand-in)"
nonresident=$((new_header + le_imports))
nonresident_size=$((1 + ${#description} + 2 + 1))
data_pages=$(( (nonresident + nonresident_size + 15) / 16 * 16 ))
ddb_size=$((0x50))

{
  dos_stub "This program cannot be run in DOS mode."
  text LE; u8 0; u8 0                 # little-endian bytes and words
  u32 0; u16 2; u16 4                 # format level, CPU 80386, OS Windows 386
  u32 0x00010014                      # module version 1.20
  u32 0x00038000                      # module type: virtual device driver
  u32 1                               # pages
  u32 0; u32 0; u32 0; u32 0          # no start address or stack
  u32 0x1000; u32 $ddb_size           # page size, bytes on the last page
  u32 $fixup_size; u32 0
  u32 $loader_size; u32 0
  u32 $le_objects; u32 1
  u32 $le_pagemap; u32 0
  u32 $le_resident; u32 0             # resource table (empty)
  u32 $le_resident; u32 $le_entries
  u32 0; u32 0                        # module directives
  u32 $le_fixpages; u32 $le_fixrecords
  u32 $le_imports; u32 0; u32 $le_imports
  u32 0                               # per-page checksums
  u32 $data_pages; u32 1              # data pages, preloaded pages
  u32 $nonresident; u32 $nonresident_size; u32 0
  u32 0; u32 0; u32 0                 # automatic data object, debug information
  u32 0; u32 0; u32 0; u32 0          # instance pages, heap, stack
  zeros 8
  u32 0; u32 0                        # version resource
  u16 0; u16 0x040A                   # device id (undefined), DDK version 4.10
  # object 1: size, base, flags (readable, executable, preloaded, 32-bit), page 1 of 1
  u32 $ddb_size; u32 0; u32 0x2045; u32 1; u32 1; u32 0
  u8 0; u8 0; u8 1; u8 0              # page map: page 1, legal physical page
  pascal VESK; u16 0; pascal VESK_DDB; u16 1; u8 0
  u8 1; u8 3; u16 1; u8 0x03; u32 0; u8 0   # 1 entry, 32-bit, object 1: exported, offset 0
  u32 0; u32 0                        # fixup page table: no fixups in page 1
  pascal "$description"; u16 0; u8 0
  zeros $((data_pages - nonresident - nonresident_size))
  # Device Descriptor Block
  u32 0; u16 0x040A; u16 0            # next, SDK version, device number (undefined)
  u8 1; u8 20; u16 0                  # version 1.20, flags
  text 'VESK    '
  u32 0x80000000                      # undefined initialisation order
  zeros $((9 * 4))                    # control, API procedures and service tables: none
  text verP                           # the DDB's fixed 'Prev' field
  u32 $ddb_size
  text 1vsR; text 2vsR; text 3vsR    # reserved fields
} >"$out_dir/Vesk.VxD"
