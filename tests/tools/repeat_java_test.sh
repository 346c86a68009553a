#!/bin/sh
# Runs one program of the Java corpus many times, for faults that show only
# now and then (races between threads).
#
#   repeat_java_test.sh <count> <jvm> <classdir> <testdir> <Name> <mode>...
#
# Each of the <count> rounds runs the program once in every <mode> through
# run_java_test.sh; the first failing run ends the test with its report.
set -u

if [ $# -lt 6 ]; then
    echo "usage: $0 <count> <jvm> <classdir> <testdir> <Name> <mode>..." >&2
    exit 2
fi
count=$1 jvm=$2 classdir=$3 testdir=$4 name=$5
shift 5
here=$(dirname "$0")
i=1
while [ "$i" -le "$count" ]; do
    for mode in "$@"; do
        if ! out=$(sh "$here/run_java_test.sh" "$jvm" "$classdir" "$testdir" "$name" "$mode"); then
            echo "run $i of $count ($mode) failed:"
            echo "$out"
            exit 1
        fi
    done
    i=$((i + 1))
done
echo "ok $name: $count runs in each of: $*"
exit 0
