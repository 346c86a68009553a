#!/usr/bin/env python3
"""Mutation test of the VM: bytecode-level mutants of compiled corpus classes.

Each mutant changes one instruction of one method of one program's classes:
  opcode  the opcode replaced by another of the same length (the code stays
          well formed, so the type-level verifier has to catch it),
  operand one operand byte replaced by a random value,
  any     the opcode replaced by any standard opcode.
The mutant runs on the VM in every mode asked for; the VM must end it with
normal output or a Java exception: "rejected" counts a VerifyError or
ClassFormatError, "ok" any other end.  Failures:
  crash   a fatal signal, an abort or an "Internal VM error" report,
  hang    no end within the time limit while the VM uses almost no CPU time
          (a deadlock; a mutant that loops in Java code uses the CPU and only
          counts as "loop").
Mutants are numbered; mutant i is made from seed (--seed + i), so a campaign
is reproducible and a failure can be rerun alone with --only i.

  mutate_classes.py --jvm build/bin/jvm --classes build/tests/java/classes \\
      --count 300 --seed 1 --modes int,jit0 --programs Sieve,Sorting,...

Exit status 0 when no mutant crashed or hung, 1 otherwise (with a report).
"""
import argparse
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

from classfile import read_constant_pool

# Length of each standard opcode 0..201 (0: variable: switches, wide).
LENGTHS = [1] * 202
for op in (0x10, 0x12, 0x15, 0x16, 0x17, 0x18, 0x19, 0x36, 0x37, 0x38, 0x39, 0x3A, 0xA9, 0xBC):
    LENGTHS[op] = 2
for op in [0x11, 0x13, 0x14, 0x84] + list(range(0x99, 0xA9)) + list(range(0xB2, 0xB9)) + \
        [0xBB, 0xBD, 0xC0, 0xC1, 0xC6, 0xC7]:
    LENGTHS[op] = 3
LENGTHS[0xC5] = 4
for op in (0xB9, 0xBA, 0xC8, 0xC9):
    LENGTHS[op] = 5
for op in (0xAA, 0xAB, 0xC4):
    LENGTHS[op] = 0

MODES = {
    'int': (['-Xint'], {}),
    'jit0': ([], {'ZEK_MIXED_MODE_THRESHOLD': '0', 'ORVA_COMPILEOPT': 'NALL'}),
    'jitdef': ([], {}),
}


def code_ranges(data):
    """(offset, length) of the bytecode of every method with code."""
    utf8, p = read_constant_pool(data)
    p += 6
    nif = struct.unpack_from('>H', data, p)[0]
    p += 2 + 2 * nif

    def skip_members(p, want_code):
        out = []
        n = struct.unpack_from('>H', data, p)[0]
        p += 2
        for _ in range(n):
            p += 6
            na = struct.unpack_from('>H', data, p)[0]
            p += 2
            for _ in range(na):
                name, length = struct.unpack_from('>HI', data, p)
                if want_code and utf8.get(name) == 'Code':
                    clen = struct.unpack_from('>I', data, p + 10)[0]
                    out.append((p + 14, clen))
                p += 6 + length
        return p, out

    p, _ = skip_members(p, False)
    _, methods = skip_members(p, True)
    return methods


def instruction_starts(code):
    starts = []
    pc = 0
    while pc < len(code):
        starts.append(pc)
        op = code[pc]
        if op > 201:
            break
        n = LENGTHS[op]
        if op in (0xAA, 0xAB):
            base = (pc + 4) & ~3
            if op == 0xAA:
                low, high = struct.unpack_from('>ii', code, base + 4)
                n = base + 12 + 4 * (high - low + 1) - pc
            else:
                npairs = struct.unpack_from('>i', code, base + 4)[0]
                n = base + 8 + 8 * npairs - pc
        elif op == 0xC4:
            n = 6 if code[pc + 1] == 0x84 else 4
        pc += n
    return starts


def mutate(data, rng):
    """A mutant of class-file bytes, and what was changed."""
    methods = [m for m in code_ranges(data) if m[1] > 0]
    if not methods:
        return None, None
    off, length = rng.choice(methods)
    code = data[off:off + length]
    pc = rng.choice(instruction_starts(code))
    op = code[pc]
    out = bytearray(data)
    kind = rng.choice(['opcode', 'operand', 'any'])
    n = LENGTHS[op] if op <= 201 else 1
    if kind == 'operand' and n > 1:
        k = rng.randrange(1, n)
        out[off + pc + k] = rng.randrange(256)
        return bytes(out), 'pc %d: operand byte %d of opcode %d -> %d' % (pc, k, op, out[off + pc + k])
    if kind == 'opcode' and n > 0:
        same = [o for o in range(202) if LENGTHS[o] == n and o != op and o != 0xBA]
        new = rng.choice(same)
    else:
        new = rng.randrange(202)
    out[off + pc] = new
    return bytes(out), 'pc %d: opcode %d -> %d' % (pc, op, new)


def program_classes(classes, program):
    return sorted(f for f in os.listdir(classes)
                  if f == program + '.class' or (f.startswith(program + '$') and f.endswith('.class')))


def run(jvm, workdir, program, mode, timeout):
    """'ok', 'crash', 'hang' or 'loop', and the start of stderr."""
    opts, env_add = MODES[mode]
    env = dict(os.environ)
    env.pop('ORVA_COMPILEOPT', None)
    env.pop('ZEK_MIXED_MODE_THRESHOLD', None)
    env.update(env_add)
    start = time.time()
    proc = subprocess.Popen([jvm] + opts + ['-cp', workdir, program], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, env=env,
                            start_new_session=True)
    try:
        _, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        # CPU time used so far: a deadlocked VM sleeps, a looping program does not.
        try:
            with open('/proc/%d/stat' % proc.pid) as f:
                fields = f.read().rsplit(')', 1)[1].split()
            cpu = (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')
        except (OSError, IndexError, ValueError):
            cpu = 0.0
        os.killpg(proc.pid, 9)
        proc.communicate()
        wall = time.time() - start
        return ('loop' if cpu > 0.2 * wall else 'hang'), 'cpu %.1fs of %.1fs' % (cpu, wall)
    text = err.decode('utf-8', 'replace')
    rc = proc.returncode
    fatal = ('Internal VM error' in text or 'uncaught target signal' in text
             or rc < 0 or rc >= 128)
    if fatal:
        return 'crash', text[:600]
    return ('rejected' if 'VerifyError' in text or 'ClassFormatError' in text else 'ok'), text[:600]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--jvm', required=True)
    ap.add_argument('--classes', required=True, help='the compiled corpus')
    ap.add_argument('--programs', required=True, help='comma-separated main classes to mutate')
    ap.add_argument('--count', type=int, default=200)
    ap.add_argument('--seed', type=int, default=1)
    ap.add_argument('--modes', default='int,jit0')
    ap.add_argument('--timeout', type=float, default=20.0)
    ap.add_argument('--jobs', type=int, default=4)
    ap.add_argument('--only', type=int, default=None, help='run mutant number N alone')
    args = ap.parse_args()
    programs = args.programs.split(',')
    modes = args.modes.split(',')
    for m in modes:
        if m not in MODES:
            ap.error('unknown mode ' + m)

    numbers = [args.only] if args.only is not None else list(range(args.count))
    plans = []
    for i in numbers:
        rng = random.Random(args.seed + i)
        program = rng.choice(programs)
        cls = rng.choice(program_classes(args.classes, program))
        with open(os.path.join(args.classes, cls), 'rb') as f:
            data, what = mutate(f.read(), rng)
        if data is not None:
            plans.append((i, program, cls, data, what))

    tmp = tempfile.mkdtemp(prefix='orva-mutants.')

    def one(plan):
        i, program, cls, data, what = plan
        work = os.path.join(tmp, str(i))
        os.mkdir(work)
        for f in program_classes(args.classes, program):
            shutil.copyfile(os.path.join(args.classes, f), os.path.join(work, f))
        with open(os.path.join(work, cls), 'wb') as f:
            f.write(data)
        results = [(mode,) + run(args.jvm, work, program, mode, args.timeout) for mode in modes]
        shutil.rmtree(work, ignore_errors=True)
        return i, program, cls, what, results

    counts = {}
    failures = []
    try:
        with ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for i, program, cls, what, results in pool.map(one, plans):
                for mode, verdict, detail in results:
                    counts[(mode, verdict)] = counts.get((mode, verdict), 0) + 1
                    if verdict in ('crash', 'hang'):
                        failures.append('mutant %d (%s, %s, %s) %s in %s:\n  %s' %
                                        (i, program, cls, what, verdict, mode,
                                         detail.strip().replace('\n', '\n  ')))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    for f in failures:
        print(f)
    for mode in modes:
        summary = ', '.join('%s %d' % (v, counts.get((mode, v), 0))
                            for v in ('rejected', 'ok', 'loop', 'crash', 'hang'))
        print('%s: %d mutants: %s' % (mode, len(plans), summary))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
