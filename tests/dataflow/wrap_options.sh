#!/bin/sh
# wrap_options.sh NM OUT WRAPS_OBJ...
#
# Writes to OUT one linker option --wrap=SYMBOL for every __wrap_SYMBOL the
# objects define: the calls to SYMBOL from the other objects then reach the
# wrap, which calls the symbol itself as __real_SYMBOL.
set -e
nm=$1 out=$2
shift 2
"$nm" -g --defined-only "$@" | awk 'NF == 3 && $2 == "T" && $3 ~ /^__wrap_/ { print "-Wl,--wrap=" substr($3, 8) }' \
    | sort -u > "$out.tmp"
mv "$out.tmp" "$out"
