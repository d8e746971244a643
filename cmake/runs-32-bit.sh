#!/bin/sh
# Exits 0 when this machine runs 32-bit x86 programs, which Debian's wine32 (the 32-bit Wine that
# runs the 32-bit Windows suite) is made of; 1 when its kernel refuses them (built or booted without
# 32-bit emulation, as some virtual machines are). The test is a program of 93 bytes for 32-bit x86
# Linux: an ELF header, one segment, and the system call exit(0).
program="$(mktemp)"
printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' >"$program"
chmod +x "$program"
"$program" 2>/dev/null
status=$?
rm -f "$program"
exit "$status"
