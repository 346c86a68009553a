#!/bin/sh
# weaken_doubles.sh OBJ NM OBJCOPY DOUBLES_OBJ...
#
# The test doubles of dataflow_tests stand in for passes the drivers call.
# Once a pass's own strong definition lands in the compiler, it would collide
# with its double; this makes every compiler symbol that a double defines
# weak in the relocatable compiler object, so the double takes its place here
# while the real pass is tested in its own test binary.
set -e
obj=$1 nm=$2 objcopy=$3
shift 3
"$nm" -g --defined-only "$@" | awk 'NF == 3 && $2 ~ /^[TW]$/ { print $3 }' | sort -u > "$obj.doubles"
"$objcopy" --weaken-symbols="$obj.doubles" "$obj"
