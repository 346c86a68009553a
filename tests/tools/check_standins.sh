#!/bin/sh
# Fails when libjit.so links a weak stand-in that is not on the list of
# stand-ins allowed to remain (passes of later work that answer "did
# nothing").  A stand-in of a service that is built must never be linked:
# its strong definition is missing or its signature differs from the
# callers' declaration, and compiles would quietly give up or misbehave.
#
#   check_standins.sh <builddir> <allowed-list>
set -u
build=$1
allowed=$2
objects=$(find "$build/src/jit" -name '*.o' -path '*jit_*.dir*')
[ -n "$objects" ] || { echo "no compiler objects under $build/src/jit" >&2; exit 2; }
# Strong (T) and weak (W) definitions of every compiler object; a weak one
# with no strong definition anywhere is what the link keeps.
linked=$(for o in $objects; do nm "$o" | awk -v f="$(basename "$o" .o)" '$2=="T"||$2=="W"{print $2, $3, f}'; done |
         awk '$1=="T"{t[$2]=1} $1=="W"{w[$2]=$3} END{for (s in w) if (!(s in t)) print w[s], s}' |
         grep -v ' _ZNK\| _ZSt\| _ZN[0-9]' | while read -r file sym; do
             echo "$(echo "$sym" | c++filt | sed 's/(.*//') $file"; done | sort)
bad=$(echo "$linked" | while read -r name file; do
    [ -n "$name" ] || continue
    grep -qx "$name" "$allowed" || echo "linked stand-in of a built service: $name (from $file)"
done)
count=$(echo "$linked" | grep -c .)
if [ -n "$bad" ]; then
    echo "$bad"
    exit 1
fi
echo "$count stand-ins linked, all on the allowed list"
