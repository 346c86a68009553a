#!/usr/bin/env python3
"""Differential test on random programs (tests/tools/gen_random_java.py).

    random_diff.py --jvm build/bin/jvm --jvmc build/bin/jvmc --seeds 1-60
                   [--jdk [JAVA]] [--jobs N] [--work DIR] [--timeout S]

Writes one program per seed, compiles them all with one javac run (jvmc:
against our class library), and runs each on our VM three ways:
  int     interpreted (-Xint), the reference
  jit0    compiled at the first call, every optimization off
          (ZEK_MIXED_MODE_THRESHOLD=0 ORVA_COMPILEOPT=NALL)
  jitdef  compiled at the first call with the default options
  on-OPT  (--pass-modes OPT,...) compiled at the first call with every
          optional pass off but the one option OPT switches
Any difference in stdout or exit status from the interpreted run is a
failure, and so is a counting thread ended by an exception in any run; the
seed, the mode and a diff are printed and the program stays in the work
directory.  --jdk also compiles the programs against OpenJDK's
library and compares OpenJDK's output with ours interpreted (this checks the
generator itself: its programs must mean the same on every JVM, and a
difference there is either a generator fault or a fault of our VM).

--seeds takes A-B or a comma list of both forms.  A summary line tells how
many methods the compiler compiled over the batch, to show how much of the
run really went through compiled code.
"""
import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import compiled_methods  # noqa: E402
import gen_random_java  # noqa: E402

MODES = {
    'jit0': {'ZEK_MIXED_MODE_THRESHOLD': '0', 'ORVA_COMPILEOPT': 'NALL'},
    'jitdef': {'ZEK_MIXED_MODE_THRESHOLD': '0'},
}
# NALL's option words with the dataflow framework left on (NDATAFLOW clear).
PASS_ALONE_WORDS = (0x55FFFFFE, 0xFFEFFFFF, 0xFFFFFFFF)
FLAGS_LINE = re.compile(r'\tFlags set to:\t[0-9a-f]{8}\t[0-9a-f]{8}\t[0-9a-f]{8}\n')


def pass_on_alone(option):
    """The environment of mode on-OPTION: threshold 0, the option words of
    PASS_ALONE_WORDS without the bits of the option's switches (several may be
    joined by +; pass_switches.txt), set through the HEX selector, and every
    environment switch of a bytecode analysis set but the option's own."""
    with open(os.path.join(HERE, 'pass_switches.txt')) as f:
        rows = {r[0]: r[1:] for r in (line.split() for line in f if line.strip() and not line.startswith('#'))}
    words = list(PASS_ALONE_WORDS)
    env = {'ZEK_MIXED_MODE_THRESHOLD': '0', 'ORVA_SKIPSUBOPT': 'HEX', 'ORVA_SKIPCBNAME': '*'}
    env.update({name: '1' for name, (word, _) in rows.items() if word == 'env'})
    for name in option.split('+'):
        if name not in rows:
            sys.exit('no pass switch named %s in pass_switches.txt' % name)
        word, bit = rows[name]
        if word == 'env':
            del env[name]
        else:
            words[int(word) - 1] &= ~int(bit, 16)
    for i, w in enumerate(words):
        env['ORVA_SKIPHEX%d' % (i + 1)] = '%08X' % w
    return env


def parse_seeds(text):
    seeds = []
    for part in text.split(','):
        if '-' in part:
            a, b = part.split('-', 1)
            seeds.extend(range(int(a), int(b) + 1))
        elif part:
            seeds.append(int(part))
    return seeds


def clean_env():
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(('ORVA_', 'ZEK_', 'DISABLE_')) and k != 'JAVA_TOOL_OPTIONS'}
    return env


def run(cmd, env, timeout):
    try:
        p = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                           timeout=timeout)
        return p.returncode, p.stdout.decode('utf-8', 'replace'), p.stderr.decode('utf-8', 'replace')
    except subprocess.TimeoutExpired:
        return 'timeout', '', 'no exit within %d s' % timeout


def short_diff(want, got):
    import difflib
    lines = list(difflib.unified_diff(want.splitlines(), got.splitlines(), 'int', 'other', lineterm='', n=1))
    return '\n'.join(lines[:30])


def thread_death(stderr):
    """The start of stderr when a counting thread ended by an exception.

    Their run() methods throw nothing, and such a thread leaves stdout and the
    exit status alone: only its counts go missing, in every mode alike when
    the fault is the VM's, so stdout comparisons alone would not show it."""
    at = stderr.find('Exception in thread "Thread-')
    return stderr[at:at + 1500] if at >= 0 else None


def check_seed(seed, args, work):
    """Answers (failure texts, {mode: (compiled, requested)})."""
    name = 'R%d' % seed
    env = clean_env()
    failures = []
    stats = {}
    ref = run([args.jvm, '-Xint', '-cp', os.path.join(work, 'classes'), name], env, args.timeout)
    if ref[0] == 'timeout':
        return ['seed %d (int): %s' % (seed, ref[2])], stats
    if thread_death(ref[2]):
        failures.append('seed %d (int): a thread died\n%s' % (seed, thread_death(ref[2])))
    for mode, extra in MODES.items():
        menv = dict(env, **extra)
        hist = os.path.join(work, 'history', '%s.%s' % (name, mode))
        menv['ORVA_COMPILING'] = hist
        got = run([args.jvm, '-cp', os.path.join(work, 'classes'), name], menv, args.timeout)
        if mode.startswith('on-'):
            got = (got[0], FLAGS_LINE.sub('', got[1]), got[2])
        if got[:2] != ref[:2]:
            failures.append('seed %d (%s): exit %s (int: %s)\n%s\n--- stderr (start):\n%s'
                            % (seed, mode, got[0], ref[0], short_diff(ref[1], got[1]), got[2][:1500]))
        elif thread_death(got[2]):
            failures.append('seed %d (%s): a thread died\n%s' % (seed, mode, thread_death(got[2])))
        requested, compiled, _ = compiled_methods.read_history(hist)
        stats[mode] = (len(compiled), len(requested))
    if args.jdk:
        got = run([args.jdk, '-XX:TieredStopAtLevel=1', '-XX:+UseSerialGC', '-cp', os.path.join(work, 'classes-jdk'),
                   name], env, args.timeout)
        if got[:2] != ref[:2]:
            failures.append('seed %d (OpenJDK against our -Xint): exit %s (int: %s)\n%s\n--- our stderr:\n%s'
                            % (seed, got[0], ref[0], short_diff(ref[1], got[1]), ref[2][:1500]))
    return failures, stats


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--jvm', required=True)
    ap.add_argument('--jvmc', required=True)
    ap.add_argument('--seeds', required=True, help='A-B or a comma list of seeds and ranges')
    ap.add_argument('--jdk', nargs='?', const='java', default=None, help="also compare with OpenJDK's java")
    ap.add_argument('--javac', default='javac', help='the javac that compiles for --jdk')
    ap.add_argument('--jobs', type=int, default=1)
    ap.add_argument('--work', help='work directory (default: a fresh temporary one, removed when all pass)')
    ap.add_argument('--timeout', type=int, default=300, help='seconds one run may take')
    ap.add_argument('--no-threads', action='store_true', help='programs without the two counting threads')
    ap.add_argument('--pass-modes', default='',
                    help='comma list of options OPT whose pass also runs alone (mode on-OPT)')
    args = ap.parse_args(argv[1:])
    for option in filter(None, args.pass_modes.split(',')):
        MODES['on-' + option] = pass_on_alone(option)
    seeds = parse_seeds(args.seeds)
    if not seeds:
        ap.error('no seeds')

    work = args.work or tempfile.mkdtemp(prefix='orva-random.')
    for sub in ('src', 'classes', 'classes-jdk', 'history'):
        shutil.rmtree(os.path.join(work, sub), ignore_errors=True)     # nothing of an earlier run
        os.makedirs(os.path.join(work, sub))
    sources = []
    for seed in seeds:
        path = os.path.join(work, 'src', 'R%d.java' % seed)
        with open(path, 'w') as f:
            f.write(gen_random_java.Gen(seed, threads=not args.no_threads).program())
        sources.append(path)
    compiles = [[args.jvmc, '-d', os.path.join(work, 'classes')] + sources]
    if args.jdk:
        compiles.append([args.javac, '-nowarn', '--release', '8', '-Xlint:-options', '-encoding', 'UTF-8',
                         '-d', os.path.join(work, 'classes-jdk')] + sources)
    for cmd in compiles:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if p.returncode != 0:
            print('javac failed on the generated programs (a generator fault); sources in %s' % work)
            print(p.stdout.decode('utf-8', 'replace')[:4000])
            return 1

    failures = []
    totals = {m: [0, 0] for m in MODES}
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for seed, (fails, stats) in zip(seeds, pool.map(lambda s: check_seed(s, args, work), seeds)):
            failures += fails
            for mode, (c, r) in stats.items():
                totals[mode][0] += c
                totals[mode][1] += r
            for f in fails:
                print('MISMATCH ' + f)
                print()
    summary = ', '.join('%s compiled %d of %d requested methods' % (m, c, r) for m, (c, r) in totals.items())
    print('%d programs (seeds %s): %s' % (len(seeds), args.seeds, summary))
    if failures:
        bad = sorted({int(f.split()[1]) for f in failures})
        print('FAILED seeds: %s; programs in %s/src' % (' '.join(map(str, bad)), work))
        print('rerun one: %s --jvm %s --jvmc %s --seeds %d' % (argv[0], args.jvm, args.jvmc, bad[0]))
        return 1
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    print('ok: every program printed the same in every mode')
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
