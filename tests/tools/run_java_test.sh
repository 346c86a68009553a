#!/bin/sh
# Runs one program of the Java corpus on our VM and checks what it printed.
#
#   run_java_test.sh <jvm> <classdir> <testdir> <Name> <mode>
#
# <jvm>      the launcher (build/bin/jvm)
# <classdir> where the corpus was compiled (Name.class and its nested classes)
# <testdir>  where Name.expected and the optional files below live
# <mode>     int      interpreter only (-Xint)
#            jit0     compiler loaded, threshold 0, ORVA_COMPILEOPT=NALL
#            jit2000  compiler loaded, threshold 2000, ORVA_COMPILEOPT=NALL
#            jitdef   compiler loaded with its default options
#            on-OPT   threshold 0, every optional pass off but the one that
#                     option OPT switches (NALL's option words without OPT's
#                     bit and without NDATAFLOW, through ORVA_SKIPSUBOPT=HEX,
#                     and every bytecode analysis's DISABLE_* switch set but
#                     OPT's own), e.g. on-NQNULLCHECK, on-DISABLE_TYPEFLOW;
#                     OPT may join several switches with + (on-NBBDFSSORT+NLOOPINFO)
#            off-OPT  threshold 0, the default options with OPT set
#                     (ORVA_COMPILEOPT=OPT); OPT may also be an environment
#                     switch of a pass (DISABLE_CALC_CONST ...), set to 1,
#                     and may join several switches with +
#                     The pass modes check the methods of compiled/Name.jit0.txt.
#            jdk      the reference run: <jvm> is OpenJDK's java and <classdir>
#                     the program compiled against OpenJDK's library; its
#                     stdout passes through jdk_to_orva.sed and Name.jdkfix
#                     (exception texts) before the comparison, and the first
#                     stderr line is not compared (HotSpot words it its way)
#
# Files beside Name.java:
#   Name.expected  stdout, byte for byte (required)
#   Name.status    exit status (default 0)
#   Name.stderr1   the first line of stderr (compared only when present)
#   Name.opts      extra VM options, e.g. -Xmx16m
#   Name.args      program arguments
# Words in .opts and .args are split on white space (no quoting).
# ORVA_TEST_JVM_OPTS adds VM options to every run on our VM (for debugging).
#
# The modes that load the compiler keep its compile history and prove what
# compiled: compiled/Name.<mode>.txt beside the program lists the bytecode
# methods that compiled when it was last refreshed, and every one of them
# must still compile (tests/tools/compiled_methods.py; a summary line goes to
# the test log).  With ORVA_REFRESH_COMPILED=1 a passing run rewrites that
# list instead (tests/tools/refresh_compiled.sh).  The class library's class
# files, which tell native methods apart, are looked up in
# ORVA_TEST_CLASSLIB, by default <jvm's directory>/../classes.
#
# Exit status 0 when everything matches; otherwise a diff and the start of
# stderr are printed and the status is 1.
set -u

if [ $# -ne 5 ]; then
    echo "usage: $0 <jvm> <classdir> <testdir> <Name> <mode>" >&2
    exit 2
fi
jvm=$1 classdir=$2 testdir=$3 name=$4 mode=$5

# The compiler reads its configuration from the environment; start from a
# clean one so that a developer's settings do not leak into a mode.
unset ORVA_COMPILEOPT ZEK_MIXED_MODE_THRESHOLD ORVA_COMPILING ORVA_SKIPSUBOPT ORVA_SKIPCBNAME \
      ORVA_SKIPMBNAME ORVA_SKIPHEX1 ORVA_SKIPHEX2 ORVA_SKIPHEX3 \
      DISABLE_ARRAYCHECK DISABLE_CALC_CONST DISABLE_CLASSFLOW DISABLE_COPYPROPA_FINAL \
      DISABLE_NULLCHECK DISABLE_PRIVATIZE DISABLE_PROPAGATE_BETWEEN_BB DISABLE_TYPEFLOW
modeopt=
# The option words a pass runs alone on: NALL's with the dataflow framework
# left on (NDATAFLOW clear); the word and bit of each pass switch that a pass
# mode may name are in pass_switches.txt.
nall_words="55FFFFFE FFEFFFFF FFFFFFFF"
pass_bit() {
    awk -v n="$1" '$1 == n { print $2, $3; found = 1 } END { exit !found }' "$(dirname "$0")/pass_switches.txt"
}
env_switches() {
    awk '$2 == "env" { print $1 }' "$(dirname "$0")/pass_switches.txt"
}
case $mode in
    int)     modeopt=-Xint ;;
    jit0)    ZEK_MIXED_MODE_THRESHOLD=0 ORVA_COMPILEOPT=NALL; export ZEK_MIXED_MODE_THRESHOLD ORVA_COMPILEOPT ;;
    jit2000) ZEK_MIXED_MODE_THRESHOLD=2000 ORVA_COMPILEOPT=NALL; export ZEK_MIXED_MODE_THRESHOLD ORVA_COMPILEOPT ;;
    jitdef)  ;;
    # No helpful NullPointerException texts (our VM gives none); the client
    # compiler and the serial collector start faster for these short runs.
    jdk)     modeopt="-XX:-ShowCodeDetailsInExceptionMessages -XX:TieredStopAtLevel=1 -XX:+UseSerialGC" ;;
    on-*)
        set -- $nall_words
        w1=$1 w2=$2 w3=$3
        for e in $(env_switches); do export "$e=1"; done
        for opt in $(echo "${mode#on-}" | tr '+' ' '); do
            if ! wb=$(pass_bit "$opt"); then
                echo "$0: mode $mode names no pass switch $opt" >&2; exit 2
            fi
            set -- $wb
            case $1 in
                env) unset "$opt" ;;
                1) w1=$(printf '%08X' $((0x$w1 & ~0x$2))) ;;
                2) w2=$(printf '%08X' $((0x$w2 & ~0x$2))) ;;
                3) w3=$(printf '%08X' $((0x$w3 & ~0x$2))) ;;
            esac
        done
        ORVA_SKIPHEX1=$w1 ORVA_SKIPHEX2=$w2 ORVA_SKIPHEX3=$w3
        ZEK_MIXED_MODE_THRESHOLD=0 ORVA_SKIPSUBOPT=HEX ORVA_SKIPCBNAME='*'
        export ZEK_MIXED_MODE_THRESHOLD ORVA_SKIPSUBOPT ORVA_SKIPCBNAME ORVA_SKIPHEX1 ORVA_SKIPHEX2 ORVA_SKIPHEX3 ;;
    off-*)
        ZEK_MIXED_MODE_THRESHOLD=0
        export ZEK_MIXED_MODE_THRESHOLD
        copt=
        for opt in $(echo "${mode#off-}" | tr '+' ' '); do
            case $opt in
                DISABLE_*) export "$opt=1" ;;
                *) copt=${copt:+$copt:}$opt ;;   # the option list's separator
            esac
        done
        if [ -n "$copt" ]; then ORVA_COMPILEOPT=$copt; export ORVA_COMPILEOPT; fi ;;
    *) echo "$0: unknown mode '$mode' (int, jit0, jit2000, jitdef, on-OPT, off-OPT, jdk)" >&2; exit 2 ;;
esac

expected=$testdir/$name.expected
if [ ! -f "$expected" ]; then
    echo "$0: missing $expected" >&2
    exit 2
fi
want_status=0
[ -f "$testdir/$name.status" ] && want_status=$(cat "$testdir/$name.status")
opts=
[ -f "$testdir/$name.opts" ] && opts=$(cat "$testdir/$name.opts")
args=
[ -f "$testdir/$name.args" ] && args=$(cat "$testdir/$name.args")

work=$(mktemp -d "${TMPDIR:-/tmp}/orva-java.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM
compiled_mode=0
baseline_mode=$mode
case $mode in
    jit*) compiled_mode=1 ;;
    on-*|off-*) compiled_mode=1 baseline_mode=jit0 ;;
esac
if [ $compiled_mode -eq 1 ]; then
    ORVA_COMPILING=$work/history
    export ORVA_COMPILING
fi

# shellcheck disable=SC2086  # options and arguments are word lists
extra=${ORVA_TEST_JVM_OPTS:-}
[ "$mode" = jdk ] && extra=
# shellcheck disable=SC2086  # options and arguments are word lists
"$jvm" $modeopt $extra $opts -cp "$classdir" "$name" $args \
    >"$work/stdout" 2>"$work/stderr" </dev/null
status=$?
if [ "$mode" = jdk ]; then
    here=$(dirname "$0")
    sed -f "$here/jdk_to_orva.sed" "$work/stdout" >"$work/filtered"
    if [ -f "$testdir/$name.jdkfix" ]; then
        sed -f "$testdir/$name.jdkfix" "$work/filtered" >"$work/stdout"
    else
        mv "$work/filtered" "$work/stdout"
    fi
fi
# The option words a pass mode sets are reported once per compile on stdout,
# possibly right after program output that ends without a newline.
case $mode in
    on-*) python3 -c 'import re, sys
data = open(sys.argv[1], "rb").read()
open(sys.argv[1], "wb").write(re.sub(rb"\tFlags set to:\t[0-9a-f]{8}\t[0-9a-f]{8}\t[0-9a-f]{8}\n", b"", data))' "$work/stdout" ;;
esac

failed=0
if ! cmp -s "$expected" "$work/stdout"; then
    echo "FAIL $name ($mode): stdout differs from $name.expected (- expected, + actual):"
    diff -u "$expected" "$work/stdout" | sed -n '3,80p'
    failed=1
fi
if [ "$status" != "$want_status" ]; then
    echo "FAIL $name ($mode): exit status $status, expected $want_status"
    failed=1
fi
if [ -f "$testdir/$name.stderr1" ] && [ "$mode" != jdk ]; then
    want_line=$(head -n 1 "$testdir/$name.stderr1")
    got_line=$(head -n 1 "$work/stderr")
    if [ "$got_line" != "$want_line" ]; then
        echo "FAIL $name ($mode): first stderr line differs"
        echo "  expected: $want_line"
        echo "  actual:   $got_line"
        failed=1
    fi
fi
if [ $compiled_mode -eq 1 ]; then
    here=$(dirname "$0")
    classlib=${ORVA_TEST_CLASSLIB:-$(dirname "$jvm")/../classes}
    baseline=$testdir/compiled/$name.$baseline_mode.txt
    if [ "${ORVA_REFRESH_COMPILED:-0}" = 1 ] && [ "$baseline_mode" = "$mode" ]; then
        if [ $failed -eq 0 ]; then
            python3 "$here/compiled_methods.py" write "$work/history" "$baseline" "$classdir:$classlib" \
                "$name ($mode)" || failed=1
        else
            echo "$name ($mode): run failed, compiled/$name.$mode.txt left as it was"
        fi
    elif ! python3 "$here/compiled_methods.py" check "$work/history" "$baseline" "$classdir:$classlib" \
            "$name ($mode)"; then
        failed=1
    fi
fi
if [ $failed -ne 0 ]; then
    echo "--- command: $jvm $modeopt $extra $opts -cp $classdir $name $args"
    echo "--- stderr (first 30 lines):"
    head -n 30 "$work/stderr"
    exit 1
fi
echo "ok $name ($mode)"
exit 0
