#!/bin/sh
# isolate_jit.sh OUT NM OBJCOPY LD VMLIB... -- JITOBJ...
#
# Links the compiler's object files into one relocatable object whose global
# symbols that the host VM's libraries also define are made local, so that a
# test executable can hold both the compiler and the VM: the compiler keeps
# the VM's services in variables named like the VM's own functions, and the
# two would otherwise collide.
set -e
out=$1 nm=$2 objcopy=$3 ld=$4
shift 4
libs=""
while [ "$1" != "--" ]; do libs="$libs $1"; shift; done
shift
"$ld" -m elf_i386 -r -o "$out.raw" "$@"
# Strong definitions only; the pc thunks are shared COMDAT code, not names
# of either side.
"$nm" -g --defined-only $libs 2>/dev/null | awk 'NF == 3 && $2 ~ /^[TDBRC]$/ && $3 !~ /^__x86\./ { print $3 }' \
    | sort -u > "$out.syms"
"$objcopy" --localize-symbols="$out.syms" "$out.raw" "$out"
rm -f "$out.raw"
