#!/bin/sh
# Runs a Java program with default compile options and the compile history on
# standard error; passes when its output is the expected one and every named
# method was compiled for an interpreter transfer (" MMI2JIT").
# Usage: check_transfer_history.sh JVM CLASSDIR EXPECTED CLASS METHOD...
jvm=$1 classes=$2 expected=$3 class=$4
shift 4
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
ORVA_COMPILING=stderr "$jvm" -cp "$classes" "$class" >"$out" 2>"$err"
status=$?
fail=0
if [ $status -ne 0 ]; then
    echo "FAIL: exit status $status"; fail=1
fi
if ! diff -u "$expected" "$out"; then
    echo "FAIL: output differs from $expected"; fail=1
fi
for m in "$@"; do
    if ! grep -q "^Compiling [0-9a-f]* \[$class\]\[$m\] .* MMI2JIT\$" "$err"; then
        echo "FAIL: no transfer compile of $class.$m in the history"; fail=1
    fi
done
[ $fail -eq 0 ] || { echo "--- history (first 40 lines of $class):"; grep "\[$class" "$err" | head -40; }
exit $fail
