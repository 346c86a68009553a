#!/bin/bash
# Compile cost: runs every program of the Java corpus at threshold 0 (every
# method compiled on its first call) under several option sets and sums what
# the compiler's compile-time statistics (ORVA_COMPILE_TIME) report at exit:
# compiles, methods that produced code, their bytecode, and the compiling
# thread's CPU time inside the compiles.  Prints ms per KB of compiled
# bytecode per option set and its ratio to NALL (every optional optimization
# off).  Option names in ORVA_COMPILEOPT are separated by ':'.
#
#   bench/compile_time.sh <builddir> [jobs]
#
# Under qemu-i386 the times are emulated CPU time: compare the ratios, not
# the absolute figures, with other machines.
set -u
if [ $# -lt 1 ]; then
    echo "usage: $0 <builddir> [jobs]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
parallel=${2:-4}
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/../tests/java
classes=$build/tests/java/classes
jvm=$build/bin/jvm
[ -d "$classes" ] || { echo "no corpus classes in $classes (build first)" >&2; exit 2; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# name|environment words
sets="NALL|ORVA_COMPILEOPT=NALL
no-optimizer|ORVA_COMPILEOPT=NQOPTIMIZE:NDATAFLOW:NBBDFSSORT:NLOOPINFO
defaults|ORVA_COMPILEOPT="

run_program() {   # <set env> <Name> -> the stats line
    name=$2
    opts=""; args=""
    [ -f "$corpus/$name.opts" ] && opts=$(cat "$corpus/$name.opts")
    [ -f "$corpus/$name.args" ] && args=$(cat "$corpus/$name.args")
    # shellcheck disable=SC2086
    env $1 ORVA_COMPILE_TIME=1 ZEK_MIXED_MODE_THRESHOLD=0 timeout 300 "$jvm" $opts -cp "$classes" \
        "$name" $args </dev/null 2>&1 >/dev/null | grep '^compile time:' | tail -1
}

for f in "$corpus"/*.expected; do basename "$f" .expected; done > "$out/names"
printf '%-14s %9s %9s %10s %12s %9s %9s\n' options compiles produced "bytecode" "compile ms" "ms/KB" "vs NALL"
echo "$sets" | while IFS='|' read -r label envw; do
    : > "$out/$label"
    # Parallel runs, one stats line per program.
    while read -r n; do
        ( run_program "$envw" "$n" >> "$out/$label" ) &
        while [ "$(jobs -r | wc -l)" -ge "$parallel" ]; do sleep 0.2; done
    done < "$out/names"
    wait
    awk -v label="$label" -v base_file="$out/base" '
        { req += $3; comp += $5; bytes += $8; ms += $11 }
        END {
            kb = bytes / 1024; per = kb > 0 ? ms / kb : 0
            base = 0
            if ((getline b < base_file) > 0) base = b
            ratio = base > 0 ? sprintf("x%.2f", per / base) : "x1.00"
            if (base == 0) print per > base_file
            printf "%-14s %9d %9d %8.1fKB %12.0f %9.2f %9s\n", label, req, comp, kb, ms, per, ratio
        }' "$out/$label"
done
