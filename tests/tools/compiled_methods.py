#!/usr/bin/env python3
"""Reads a compile history (ORVA_COMPILING) and tells which methods compiled.

    compiled_methods.py check HISTORY BASELINE CLASSPATH [LABEL]
    compiled_methods.py write HISTORY BASELINE CLASSPATH [LABEL]

HISTORY is the history file of one run; BASELINE the list of methods that
compiled in an earlier run of the same program and mode; CLASSPATH the
directories (':'-separated) holding the class files of the run, which tell
native methods (they compile into JNI glue, counted apart) from bytecode
methods.

A method counts as compiled when one of its requests compiled, as given up
when every request gave up.  `check` prints one summary line, then every
compiled method missing from the baseline (so the baseline can be refreshed)
and every baseline method that gave up; it exits 1 when one did.  A baseline
method that was never requested is only noted: inlining, or a program that
took another path, may leave a method uncalled without anything falling back.
`write` stores the compiled bytecode methods as the new baseline (removing the
file when there are none).

Methods are written as the history writes them: "[class][method] signature".
"""
import os
import re
import struct
import sys

from classfile import read_constant_pool

COMPILING = re.compile(r'^Compiling [0-9a-f]{8} (\[[^\]]*\]\[[^\]]*\]) (\S+)')
COMPILED = re.compile(r'^[0-9a-f]{8}  [0-9a-f]{8} (\[[^\]]*\]\[[^\]]*\]) (\S+)$')
GAVE_UP = re.compile(r'^Gave up [0-9a-f]{8} (\[[^\]]*\]\[[^\]]*\]) (\S+): (.*)$')

ACC_NATIVE = 0x0100


def read_history(path):
    """Answers (requested, compiled, gave_up) where gave_up maps a method to
    its last reason; keys are "[class][method] signature"."""
    requested, compiled, gave_up = [], set(), {}
    seen = set()
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            lines = f.read().splitlines()
    except OSError:
        lines = []
    for line in lines:
        m = COMPILING.match(line)
        if m:
            key = m.group(1) + ' ' + m.group(2)
            if key not in seen:
                seen.add(key)
                requested.append(key)
            continue
        m = COMPILED.match(line)
        if m:
            compiled.add(m.group(1) + ' ' + m.group(2))
            continue
        m = GAVE_UP.match(line)
        if m:
            gave_up[m.group(1) + ' ' + m.group(2)] = m.group(3)
    for key in compiled:
        gave_up.pop(key, None)
    return requested, compiled, gave_up


def class_methods(data):
    """Maps "name signature" to access flags for one class file."""
    utf8, pos = read_constant_pool(data)
    pos += 6
    interfaces = struct.unpack_from('>H', data, pos)[0]
    pos += 2 + 2 * interfaces

    def skip_attributes(p):
        n = struct.unpack_from('>H', data, p)[0]
        p += 2
        for _ in range(n):
            p += 6 + struct.unpack_from('>I', data, p + 2)[0]
        return p

    fields = struct.unpack_from('>H', data, pos)[0]
    pos += 2
    for _ in range(fields):
        pos = skip_attributes(pos + 6)
    methods = {}
    n = struct.unpack_from('>H', data, pos)[0]
    pos += 2
    for _ in range(n):
        access, name, sig = struct.unpack_from('>HHH', data, pos)
        methods[utf8[name] + ' ' + utf8[sig]] = access
        pos = skip_attributes(pos + 6)
    return methods


class NativeOracle:
    """Tells from the class files whether a method is native."""

    def __init__(self, classpath):
        self.dirs = [d for d in classpath.split(':') if d]
        self.cache = {}

    def methods_of(self, cls):
        if cls not in self.cache:
            self.cache[cls] = {}
            for d in self.dirs:
                path = os.path.join(d, cls + '.class')
                if os.path.isfile(path):
                    try:
                        with open(path, 'rb') as f:
                            self.cache[cls] = class_methods(f.read())
                    except (ValueError, struct.error, KeyError, IndexError):
                        pass
                    break
        return self.cache[cls]

    def is_native(self, key):
        m = re.match(r'^\[([^\]]*)\]\[([^\]]*)\] (\S+)$', key)
        if not m:
            return False
        access = self.methods_of(m.group(1)).get(m.group(2) + ' ' + m.group(3), 0)
        return bool(access & ACC_NATIVE)


def read_baseline(path):
    try:
        with open(path, encoding='utf-8') as f:
            return [l.strip() for l in f if l.strip() and not l.startswith('#')]
    except OSError:
        return []


def main(argv):
    if len(argv) not in (5, 6) or argv[1] not in ('check', 'write'):
        sys.stderr.write(__doc__)
        return 2
    action, history, baseline, classpath = argv[1:5]
    label = argv[5] if len(argv) == 6 else os.path.basename(baseline)
    requested, compiled, gave_up = read_history(history)
    oracle = NativeOracle(classpath)
    native = {k for k in requested if oracle.is_native(k)}
    bytecode = [k for k in requested if k not in native]
    compiled_bc = sorted(k for k in bytecode if k in compiled)
    gave_up_bc = [k for k in bytecode if k in gave_up]
    glue = sum(1 for k in native if k in compiled)
    print('%s: compiled %d of %d bytecode methods, %d gave up; native glue %d of %d'
          % (label, len(compiled_bc), len(bytecode), len(gave_up_bc), glue, len(native)))

    if action == 'write':
        if compiled_bc:
            os.makedirs(os.path.dirname(os.path.abspath(baseline)), exist_ok=True)
            with open(baseline, 'w', encoding='utf-8') as f:
                f.write('# Bytecode methods that compile in this run; each must keep compiling.\n')
                f.write('# Written by tests/tools/refresh_compiled.sh.\n')
                for k in compiled_bc:
                    f.write(k + '\n')
            print('%s: baseline %s written (%d methods)' % (label, baseline, len(compiled_bc)))
        elif os.path.exists(baseline):
            os.remove(baseline)
            print('%s: baseline %s removed (nothing compiles)' % (label, baseline))
        return 0

    want = read_baseline(baseline)
    lost = [k for k in want if k in gave_up and k not in native]
    absent = [k for k in want if k not in compiled and k not in gave_up]
    new = [k for k in compiled_bc if k not in set(want)]
    for k in new:
        print('  newly compiled: %s' % k)
    if new:
        print('  (tests/tools/refresh_compiled.sh adds them to %s)' % os.path.basename(baseline))
    for k in absent:
        print('  note: not requested this run: %s' % k)
    for k in lost:
        print('FAIL %s: falls back to the interpreter: %s: %s' % (label, k, gave_up[k]))
    return 1 if lost else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
