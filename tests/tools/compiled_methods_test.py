#!/usr/bin/env python3
"""Checks compiled_methods.py on hand-written compile histories: a baseline
method that falls back fails the run, new compiles and uncalled methods do
not, a method that compiles on a later request counts as compiled, and
native methods (told by their class file) are counted apart and never enter
a baseline."""
import io
import os
import struct
import sys
import tempfile
import unittest
from contextlib import redirect_stdout

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compiled_methods  # noqa: E402


def class_file(name, methods):
    """A minimal class file declaring `methods`: (name, signature, access)."""
    pool = []

    def utf8(s):
        b = s.encode()
        pool.append(struct.pack('>BH', 1, len(b)) + b)
        return len(pool)

    this_name = utf8(name)
    pool.append(struct.pack('>BH', 7, this_name))
    this_class = len(pool)
    entries = [(utf8(n), utf8(s), a) for n, s, a in methods]
    out = struct.pack('>IHHH', 0xCAFEBABE, 0, 50, len(pool) + 1) + b''.join(pool)
    out += struct.pack('>HHHHH', 0x21, this_class, 0, 0, 0)      # no interfaces, no fields
    out += struct.pack('>H', len(entries))
    for n, s, a in entries:
        out += struct.pack('>HHHH', a, n, s, 0)
    return out + struct.pack('>H', 0)


HISTORY = """
**** ORVA Compile History **** Thu Jan  1 00:00:00 2026

Resolving 2e001008 [p/A] 0021/0013
Compiling 2e000010 [p/A][kept] ()V
2d000000  00000040 [p/A][kept] ()V
Compiling 2e000020 [p/A][lost] (I)I
Gave up 2e000020 [p/A][lost] (I)I: gen_lshl missing
Compiling 2e000030 [p/A][late] (J)V MMI2JIT
Gave up 2e000030 [p/A][late] (J)V: front end
Compiling 2e000030 [p/A][late] (J)V
2d000100  00000020 [p/A][late] (J)V
Compiling 2e000040 [p/A][fresh] ()I
2d000200  00000010 [p/A][fresh] ()I
Compiling 2e000050 [p/A][nat] (Ljava/lang/String;)V
2d000300  00000000 [p/A][nat] (Ljava/lang/String;)V
"""


class CompiledMethodsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        d = self.tmp.name
        os.makedirs(os.path.join(d, 'cls', 'p'))
        with open(os.path.join(d, 'cls', 'p', 'A.class'), 'wb') as f:
            f.write(class_file('p/A', [('kept', '()V', 0), ('lost', '(I)I', 0), ('late', '(J)V', 0),
                                       ('fresh', '()I', 0), ('nat', '(Ljava/lang/String;)V', 0x0109)]))
        self.history = os.path.join(d, 'history')
        with open(self.history, 'w') as f:
            f.write(HISTORY)
        self.baseline = os.path.join(d, 'compiled', 'A.jit0.txt')
        self.classpath = os.path.join(d, 'nowhere') + ':' + os.path.join(d, 'cls')

    def tearDown(self):
        self.tmp.cleanup()

    def run_tool(self, action, baseline_lines=None):
        if baseline_lines is not None:
            os.makedirs(os.path.dirname(self.baseline), exist_ok=True)
            with open(self.baseline, 'w') as f:
                f.write('# comment\n' + ''.join(l + '\n' for l in baseline_lines))
        out = io.StringIO()
        with redirect_stdout(out):
            rc = compiled_methods.main(['x', action, self.history, self.baseline, self.classpath, 'A (jit0)'])
        return rc, out.getvalue()

    def test_summary_counts_bytecode_and_glue_apart(self):
        rc, out = self.run_tool('check')
        self.assertEqual(rc, 0, out)     # no baseline: nothing can be lost
        self.assertIn('A (jit0): compiled 3 of 4 bytecode methods, 1 gave up; native glue 1 of 1', out)

    def test_baseline_method_that_gives_up_fails_and_says_why(self):
        rc, out = self.run_tool('check', ['[p/A][kept] ()V', '[p/A][lost] (I)I'])
        self.assertEqual(rc, 1, out)
        self.assertIn('falls back to the interpreter: [p/A][lost] (I)I: gen_lshl missing', out)
        self.assertNotIn('[p/A][kept] ()V: ', out)

    def test_new_late_and_uncalled_methods_pass(self):
        rc, out = self.run_tool('check', ['[p/A][kept] ()V', '[p/A][late] (J)V', '[p/A][gone] ()V'])
        self.assertEqual(rc, 0, out)
        self.assertIn('newly compiled: [p/A][fresh] ()I', out)
        self.assertIn('not requested this run: [p/A][gone] ()V', out)
        self.assertNotIn('[p/A][nat]', out)

    def test_write_keeps_compiled_bytecode_methods_only(self):
        rc, _ = self.run_tool('write')
        self.assertEqual(rc, 0)
        self.assertEqual(compiled_methods.read_baseline(self.baseline),
                         ['[p/A][fresh] ()I', '[p/A][kept] ()V', '[p/A][late] (J)V'])
        rc, out = self.run_tool('check')
        self.assertEqual(rc, 0, out)
        self.assertNotIn('newly compiled', out)

    def test_write_with_nothing_compiled_removes_the_baseline(self):
        self.run_tool('check', ['[p/A][kept] ()V'])
        with open(self.history, 'w') as f:
            f.write('Compiling 2e000010 [p/A][kept] ()V\nGave up 2e000010 [p/A][kept] ()V: front end\n')
        rc, out = self.run_tool('write')
        self.assertEqual(rc, 0)
        self.assertFalse(os.path.exists(self.baseline), out)


if __name__ == '__main__':
    unittest.main()
