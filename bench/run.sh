#!/bin/sh
# Benchmarks: runs each kernel of bench/ on our VM (interpreted, and with
# the compiler under NALL+I2J and at its defaults) and on the machine's OpenJDK (-Xint,
# -XX:TieredStopAtLevel=1, default), takes the median of several runs of the
# kernel's own timing (System.nanoTime around the work, start-up excluded)
# and prints a table with each time and its speed-up over our interpreter.
# Kernels with a C version beside them (bench/<kernel>.c) also get a
# reference column "C -O2": built with gcc -m32 -O2 -mfpmath=387 (x87, as
# our compiled code computes) and run the way our VM runs (under qemu-i386
# when the launcher uses it), it shows what compiled code can reach at best.
#
#   bench/run.sh <builddir> [kernel...]
#
# Environment: BENCH_RUNS (default 3) runs per configuration;
# BENCH_SCALE multiplies every kernel's default size (default 1).
# Every configuration must print the same checksum as OpenJDK's default
# run; a differing one is flagged with '!' after its time.
set -u
if [ $# -lt 1 ]; then
    echo "usage: $0 <builddir> [kernel...]" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
shift
here=$(cd "$(dirname "$0")" && pwd)
runs=${BENCH_RUNS:-3}
scale=${BENCH_SCALE:-1}
jvm=$build/bin/jvm
kernels=${*:-IntLoops LongArith DoubleArrays Calls Alloc StringBuild FFT SOR MonteCarlo SparseMatMult LU}

# Default sizes (the kernels' own defaults), scaled.
size_of() {
    case $1 in
        IntLoops) echo $((2000 * scale)) ;;
        LongArith) echo $((200000 * scale)) ;;
        DoubleArrays) echo $((16 * scale)) ;;
        Calls) echo $((300000 * scale)) ;;
        Alloc) echo $((10000 * scale)) ;;
        StringBuild) echo $((3000 * scale)) ;;
        FFT) echo $((60 * scale)) ;;
        SOR) echo $((200 * scale)) ;;
        MonteCarlo) echo $((800000 * scale)) ;;
        SparseMatMult) echo $((500 * scale)) ;;
        LU) echo $((50 * scale)) ;;
        *) echo "" ;;
    esac
}

work=$build/bench
rm -rf "$work"
mkdir -p "$work/orva" "$work/jdk" "$work/c" || exit 2
sources=$(ls "$here"/*.java)
# shellcheck disable=SC2086
javac -nowarn -source 8 -target 8 -Xlint:-options -encoding UTF-8 -bootclasspath "$build/classes" \
      -d "$work/orva" $sources || { echo "javac against our class library failed" >&2; exit 1; }
# shellcheck disable=SC2086
javac -nowarn --release 8 -encoding UTF-8 -d "$work/jdk" $sources || exit 1

# C references: a kernel whose C version does not build gets no C column entry.
emu=""
grep -q qemu "$jvm" 2>/dev/null && emu=qemu-i386
for c in "$here"/*.c; do
    [ -e "$c" ] || continue
    gcc -m32 -O2 -mfpmath=387 -o "$work/c/$(basename "$c" .c)" "$c" -lm 2>/dev/null ||
        echo "note: $(basename "$c") does not build with gcc -m32; no C reference for it" >&2
done

if [ -n "$emu" ]; then
    echo "note: our VM runs under qemu-i386 user-mode emulation on this machine (the kernel"
    echo "      cannot run IA-32 programs); OpenJDK runs natively, so its ratios include the"
    echo "      cost of emulation, not only the difference between the VMs."
fi
echo "times in ms, median of $runs runs (kernel time only, start-up excluded);"
echo "(xN) = N times faster than our VM with -Xint; '!' = wrong checksum; 'fail' = no result"
echo

# Configurations: ours interpreted, ours compiled with every optional
# optimization off but the interpreter-to-compiled transfer kept on
# (NALL+I2J: each kernel spends its time in one long method called once,
# which plain NALL would leave in the interpreter) and at the compiler's
# defaults; OpenJDK -Xint, C1 only, default.
# run_one <kernel> <config> -> prints "time checksum" or "fail"
run_one() {
    k=$1
    cfg=$2
    size=$(size_of "$k")
    case $cfg in
        orva-int) set -- "$jvm" -Xint -cp "$work/orva" ;;
        orva-nall) set -- env ORVA_COMPILEOPT=NALL+I2J "$jvm" -cp "$work/orva" ;;
        orva-jit) set -- "$jvm" -cp "$work/orva" ;;
        c-ref)
            [ -x "$work/c/$k" ] || { echo none; return; }
            # shellcheck disable=SC2086
            set -- $emu "$work/c/$k" ;;
        jdk-int)  set -- java -Xint -cp "$work/jdk" ;;
        jdk-c1)   set -- java -XX:TieredStopAtLevel=1 -cp "$work/jdk" ;;
        jdk)      set -- java -cp "$work/jdk" ;;
    esac
    times=""
    sum=""
    i=0
    while [ $i -lt "$runs" ]; do
        if [ "$cfg" = c-ref ]; then
            out=$("$@" $size 2>/dev/null </dev/null) || { echo fail; return; }
        else
            out=$("$@" "$k" $size 2>/dev/null </dev/null) || { echo fail; return; }
        fi
        t=$(echo "$out" | sed -n 's/^time_ms //p')
        c=$(echo "$out" | sed -n 's/^checksum //p')
        [ -n "$t" ] || { echo fail; return; }
        times="$times $t"
        sum=$c
        i=$((i + 1))
    done
    median=$(echo $times | tr ' ' '\n' | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
    echo "$median $sum"
}

configs="orva-int orva-nall orva-jit c-ref jdk-int jdk-c1 jdk"
printf '%-13s %16s %16s %16s %16s %16s %16s %16s\n' kernel "ours -Xint" "ours NALL+I2J" "ours compiler" "C -O2 (x87)" \
       "OpenJDK -Xint" "OpenJDK C1" \
       "OpenJDK default"
for k in $kernels; do
    if [ -z "$(size_of "$k")" ]; then
        echo "unknown kernel $k" >&2
        continue
    fi
    ref=$(run_one "$k" jdk)
    ref_sum=${ref#* }
    base=""
    line=$(printf '%-13s' "$k")
    for c in $configs; do
        if [ "$c" = jdk ]; then r=$ref; else r=$(run_one "$k" "$c"); fi
        if [ "$r" = none ]; then
            cell=-
        elif [ "$r" = fail ]; then
            cell=fail
        else
            t=${r%% *}
            s=${r#* }
            flag=""
            [ "$s" = "$ref_sum" ] || flag="!"
            [ "$c" = orva-int ] && base=$t
            if [ -n "$base" ] && [ "$base" != fail ]; then
                cell=$(awk -v t="$t" -v b="$base" -v f="$flag" 'BEGIN {
                    if (t + 0 == 0) printf "%d%s (x>%d)", t, f, b; else printf "%d%s (x%.1f)", t, f, b / t }')
            else
                cell="$t$flag"
            fi
        fi
        [ "$c" = orva-int ] && [ "$r" = fail ] && base=fail
        line="$line $(printf '%16s' "$cell")"
    done
    echo "$line"
done
