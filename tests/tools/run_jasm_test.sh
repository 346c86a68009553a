#!/bin/sh
# Loads one class of the malformed-class-file table on our VM.
#
#   run_jasm_test.sh <jvm> <classdir> <Name> <expected> <driver|main>
#
# <expected> is "ok" for a control class, else the error class name, or
#            several separated by '|' when either is a fair answer
#            (VerifyError|ClassFormatError).
# driver     runs LoadBad <Name>, which loads the class with Class.forName
#            and prints "<Name>: <verdict>"; the verdict must be one of the
#            expected names, and the VM must exit with status 0.
# main       runs <Name> as the main class: a control prints "ok" and exits
#            with 0; a malformed class must make the launcher exit with
#            status 1 and a first stderr line
#            'Exception in thread "main" java.lang.<Expected>...'.
# The VM runs interpreted (-Xint): loading does not depend on the compiler.
set -u

if [ $# -ne 5 ]; then
    echo "usage: $0 <jvm> <classdir> <Name> <expected> <driver|main>" >&2
    exit 2
fi
jvm=$1 classdir=$2 name=$3 expected=$4 how=$5

work=$(mktemp -d "${TMPDIR:-/tmp}/orva-jasm.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT INT TERM

case $how in
    driver) "$jvm" -Xint -cp "$classdir" LoadBad "$name" >"$work/stdout" 2>"$work/stderr" </dev/null ;;
    main)   "$jvm" -Xint -cp "$classdir" "$name" >"$work/stdout" 2>"$work/stderr" </dev/null ;;
    *) echo "$0: unknown way '$how' (driver, main)" >&2; exit 2 ;;
esac
status=$?

matches() {   # matches <word> : is <word> one of the expected names?
    old_ifs=$IFS
    IFS='|'
    for e in $expected; do
        if [ "$1" = "$e" ]; then IFS=$old_ifs; return 0; fi
    done
    IFS=$old_ifs
    return 1
}

fail() {
    echo "FAIL $name ($how): $1"
    echo "--- stdout:"
    head -n 10 "$work/stdout"
    echo "--- stderr (first 20 lines):"
    head -n 20 "$work/stderr"
    exit 1
}

if [ "$how" = driver ]; then
    line=$(head -n 1 "$work/stdout")
    verdict=${line#"$name: "}
    [ "$line" != "$verdict" ] || fail "no verdict printed"
    matches "$verdict" || fail "got '$verdict', expected $expected"
    [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
elif [ "$expected" = ok ]; then
    [ "$(cat "$work/stdout")" = ok ] || fail "expected the output 'ok'"
    [ "$status" -eq 0 ] || fail "exit status $status, expected 0"
else
    [ "$status" -eq 1 ] || fail "exit status $status, expected 1"
    first=$(head -n 1 "$work/stderr")
    rest=${first#'Exception in thread "main" java.lang.'}
    [ "$rest" != "$first" ] || fail "first stderr line is not an uncaught exception: $first"
    errclass=${rest%%[:$IFS]*}
    matches "$errclass" || fail "uncaught $errclass, expected $expected"
fi
echo "ok $name ($how): $expected"
exit 0
