#!/bin/sh
# Rewrites the lists of methods that compile (compiled/Name.<mode>.txt beside
# each Java program) from fresh runs of the compiled modes; only runs whose
# output is right update their list.  Review the diff before checking it in:
# a method that left a list no longer compiles.
#
#   tests/tools/refresh_compiled.sh [build-dir] [ctest-regex]
#
# build-dir defaults to ./build; ctest-regex narrows the runs, e.g.
# 'java\.Sieve\.' (default: every compiled-mode run of the corpus).
# The same is `ninja -C build refresh_compiled`.
set -eu
build=${1:-build}
regex=${2:-.}
cd "$build"
ORVA_REFRESH_COMPILED=1 ctest -V -L 'java-jit' -R "$regex" -j "$(nproc)" | \
    grep -E 'baseline|run failed|tests passed|tests failed' | sed 's/^[0-9]*: //' || true
