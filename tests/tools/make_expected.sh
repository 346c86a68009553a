#!/bin/sh
# Regenerates the expected outputs of the Java corpus with the machine's
# OpenJDK (javac --release 8, then java), for programs whose behaviour is
# the same on HotSpot and on our VM apart from exception texts.
#
#   tests/tools/make_expected.sh Name...
#   tests/tools/make_expected.sh --all          every tests/java/*.java
#
# For each program: Name.expected = its stdout passed through
# tests/tools/jdk_to_orva.sed and then Name.jdkfix (a sed script beside the
# program, when present); Name.status = its exit status when not 0.
# Name.stderr1 files are written by hand (our launcher's wording); the
# script only reports when HotSpot's first stderr line differs from one.
# Review every changed .expected file by hand before checking it in.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
src=$here/../java
work=$(mktemp -d "${TMPDIR:-/tmp}/orva-expected.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

if [ $# -eq 0 ]; then
    echo "usage: $0 Name... | --all   (review the changed .expected files afterwards)" >&2
    exit 2
fi
if [ "$1" = --all ]; then
    set -- $(cd "$src" && ls *.java | sed 's/\.java$//')
fi
javac -nowarn --release 8 -encoding UTF-8 -d "$work" "$src"/*.java
for name in "$@"; do
    opts=
    [ -f "$src/$name.opts" ] && opts=$(cat "$src/$name.opts")
    args=
    [ -f "$src/$name.args" ] && args=$(cat "$src/$name.args")
    set +e
    # Helpful NullPointerException messages are off: our VM gives none.
    # shellcheck disable=SC2086
    java -XX:-ShowCodeDetailsInExceptionMessages $opts -cp "$work" "$name" $args \
        >"$work/$name.out" 2>"$work/$name.err" </dev/null
    status=$?
    set -e
    if [ -f "$src/$name.jdkfix" ]; then
        sed -f "$here/jdk_to_orva.sed" "$work/$name.out" | sed -f "$src/$name.jdkfix" >"$src/$name.expected"
    else
        sed -f "$here/jdk_to_orva.sed" "$work/$name.out" >"$src/$name.expected"
    fi
    if [ $status -ne 0 ]; then
        echo $status >"$src/$name.status"
    else
        rm -f "$src/$name.status"
    fi
    if [ -f "$src/$name.stderr1" ]; then
        jdk_line=$(head -n 1 "$work/$name.err" | sed -f "$here/jdk_to_orva.sed")
        if [ "$jdk_line" != "$(head -n 1 "$src/$name.stderr1")" ]; then
            echo "note: $name: HotSpot's first stderr line differs from $name.stderr1:"
            echo "      $jdk_line"
        fi
    fi
    echo "$name: status $status, $(wc -l <"$src/$name.expected") lines"
done
