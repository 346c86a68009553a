#!/bin/sh
# Fails when libjit.so links a weak stand-in that is not on the list of
# stand-ins allowed to remain (passes of later work that answer "did
# nothing").  A stand-in of a built service must never be linked: its strong
# definition is missing or its signature differs from the callers'
# declaration, and compiles would quietly give up or misbehave.
#
# Stand-ins are the weak definitions of the compiler's *_pending.cpp files
# (other weak definitions are real services that unit tests may replace).
# Also fails when
#   - a stand-in is still in the sources although its service's strong
#     definition exists (delete it with the list entry when a service lands),
#   - the list names a stand-in that is no longer linked,
#   - a stand-in file calls exit (a stand-in answers "did nothing" or ends
#     the running compile softly, never the process).
#
#   check_standins.sh <allowed-list> <object>...
# The objects are those linked into libjit.so (an argument may hold several,
# separated by ';', as CMake passes a list).  The list holds one function
# name per line; '#' starts a comment line.
set -u
allowed=$1
shift
objects=$(for a in "$@"; do echo "$a" | tr ';' '\n'; done | grep '\.o$')
[ -n "$objects" ] || { echo "no compiler objects given" >&2; exit 2; }
status=0

# One nm over every object: "file:address type symbol" lines.
symbols=$(nm -A $objects)

# One line per stand-in: B when a strong definition overrides it, L when the
# link keeps it; then its name and its file.
table=$(echo "$symbols" |
        awk '{f = $1; sub(/:.*/, "", f); n = split(f, p, "/"); f = p[n]; sub(/\.o$/, "", f)}
             $2 ~ /^[TDBR]$/ {strong[$3] = 1}
             $2 ~ /^[WV]$/ && f ~ /_pending\.cpp$/ {weak[$3] = f}
             END {for (s in weak) if (s !~ /^_ZNK|^_ZSt|^_ZN[0-9]/) print (s in strong ? "B" : "L"), s, weak[s]}' |
        c++filt | sed 's/(.*) / /' | sort -u)

linked=$(echo "$table" | awk '$1 == "L" {print $2, $3}')
echo "$table" | awk '$1 == "B" {print "stand-in of a built service left in " $3 ": " $2}' | grep . && status=1
echo "$linked" | awk 'FILENAME == ARGV[1] {if ($0 !~ /^#/ && NF) ok[$1] = 1; next}
                      NF && !($1 in ok) {print "linked stand-in of a built service: " $1 " (from " $2 ")"}' "$allowed" - |
    grep . && status=1
echo "$linked" | awk 'FILENAME == ARGV[1] {if (NF) have[$1] = 1; next}
                      $0 !~ /^#/ && NF && !($1 in have) {print "allowed stand-in no longer linked (delete it from the list): " $1}' \
    - "$allowed" | grep . && status=1
echo "$symbols" | awk '$2 == "U" && ($3 == "exit" || $3 == "_exit" || $3 == "abort") {sub(/:.*/, "", $1); print $1}' |
    grep '_pending\.cpp\.o$' | sed 's|.*/||; s|\.o$||; s|^|stand-in file may end the process: |' | grep . && status=1

[ $status -eq 0 ] && echo "$(echo "$linked" | grep -c .) stand-ins linked, all on the allowed list"
exit $status
