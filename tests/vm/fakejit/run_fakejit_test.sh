#!/bin/sh
# Runs one program with the test-double compiler and checks what it printed.
#
#   run_fakejit_test.sh <jvm> <classdir> <testdir> <Name> <variant>
#
# Files in <testdir>:
#   Name.variant.expected  stdout, byte for byte (required)
#   Name.variant.status    exit status (default 0)
#   Name.variant.stderr1   a prefix of the first line of stderr
#   Name.variant.env       NAME=value words exported for the run; the default
#                          threshold is 0 (every method requested at its
#                          first call)
set -u
if [ $# -ne 5 ]; then
    echo "usage: $0 <jvm> <classdir> <testdir> <Name> <variant>" >&2
    exit 2
fi
jvm=$1 classdir=$2 testdir=$3 name=$4 variant=$5
base=$testdir/$name.$variant

unset ORVA_COMPILEOPT FAKEJIT_REFUSE
ZEK_MIXED_MODE_THRESHOLD=0
export ZEK_MIXED_MODE_THRESHOLD
if [ -f "$base.env" ]; then
    for assignment in $(cat "$base.env"); do
        export "$assignment"
    done
fi
want_status=0
[ -f "$base.status" ] && want_status=$(cat "$base.status")

work=$(mktemp -d "${TMPDIR:-/tmp}/orva-fakejit.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM
"$jvm" -Djava.compiler=fakejit -cp "$classdir" "$name" >"$work/stdout" 2>"$work/stderr" </dev/null
status=$?

failed=0
if ! cmp -s "$base.expected" "$work/stdout"; then
    echo "FAIL $name.$variant: stdout differs (- expected, + actual):"
    diff -u "$base.expected" "$work/stdout" | sed -n '3,80p'
    failed=1
fi
if [ "$status" != "$want_status" ]; then
    echo "FAIL $name.$variant: exit status $status, expected $want_status"
    failed=1
fi
if [ -f "$base.stderr1" ]; then
    want=$(head -n 1 "$base.stderr1")
    got=$(head -n 1 "$work/stderr")
    case $got in
        "$want"*) ;;
        *) echo "FAIL $name.$variant: first stderr line does not start with: $want"
           echo "  actual: $got"
           failed=1 ;;
    esac
fi
if [ $failed -ne 0 ]; then
    echo "--- stderr (first 30 lines):"
    head -n 30 "$work/stderr"
    exit 1
fi
echo "ok $name.$variant"
exit 0
