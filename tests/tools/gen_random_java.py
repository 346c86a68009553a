#!/usr/bin/env python3
"""Writes random, terminating, deterministic Java programs for differential
testing (tests/tools/random_diff.py runs them).

    gen_random_java.py SEED [OUTDIR]      writes OUTDIR/R<SEED>.java (default .)

A program is one class R<SEED> with nested classes: static methods, a small
class hierarchy with virtual and interface methods, fields, int/long/float/
double arithmetic with division and shifts, arrays, loops, switches,
exceptions thrown and caught, synchronized blocks and methods, and now and
then two threads that count under a lock.  Every value it computes is folded
into a checksum that main prints after each step, so a wrong value anywhere
shows in the output.

What keeps a program terminating: calls go only from a method to methods of
higher number (no cycles, the one recursive method counts a depth down),
loops run a fixed number of times, and the generator adds up the work of
every method (calls and loops included) and stops adding once a budget is
spent.

What keeps it deterministic on every conforming JVM: no identity hash codes,
no floating-point printing (floats enter the checksum by their bits), no
timing.  Outside FP-strict code a JVM may compute float and double
intermediates with a wider exponent, so every float and double operand is
clamped into [1e-10, 1e10] (or zero) and every operator result is clamped
again before it is used as an operand: a single operator on such operands
can neither overflow nor underflow, and the wider exponent never shows.
Raw results (which may be infinite or NaN after a division) only meet
comparisons, conversions and the checksum.
"""
import os
import random
import sys

INT_LITERALS = ['0', '1', '-1', '2', '3', '7', '31', '32', '33', '100', '-128', '255', '65535', '0x7fffffff',
                '0x80000000', '-2147483647', '123456789', '0x55555555', '-65536']
LONG_LITERALS = ['0L', '1L', '-1L', '3L', '63L', '64L', '0x7fffffffffffffffL', '0x8000000000000000L',
                 '4294967296L', '-4294967297L', '1234567890123L', '0xffffffffL', '-9L']
DOUBLE_LITERALS = ['0.0', '-0.0', '1.0', '-1.0', '0.5', '0.1', '3.0', '-2.75', '1e6', '-1e-6', '12345.678',
                   '2.5e9', '1e-9', '7.0', '-1e9']
FLOAT_LITERALS = ['0.0f', '-0.0f', '1.0f', '-1.0f', '0.5f', '0.1f', '3.0f', '-2.75f', '1e6f', '-1e-6f',
                  '12345.678f', '2.5e9f', '1e-9f', '7.0f']

NUMERIC = ('int', 'long', 'float', 'double')
ARRAYS = {'int': 'ia', 'long': 'la', 'float': 'fa', 'double': 'da'}
STATIC_FIELDS = {'int': ['si0', 'si1'], 'long': ['sl0', 'sl1'], 'float': ['sf0'], 'double': ['sd0', 'sd1']}
INSTANCE_FIELDS = {'int': ['fi'], 'long': ['fl'], 'float': ['ff'], 'double': ['fd']}
CLAMP = {'float': 'clF', 'double': 'clD'}
MIX = {'int': 'mix', 'long': 'mix', 'float': 'mixF', 'double': 'mixD', 'boolean': 'mixZ'}
ZERO = {'int': '0', 'long': '0L', 'float': '0.0f', 'double': '0.0', 'boolean': 'false'}

# Virtual methods of Base (slot name, return type, parameter types) and which
# subclasses override them.
VIRTUALS = [('v0', 'int', ['int']), ('v1', 'long', ['long', 'int']), ('v2', 'double', ['double']),
            ('v3', 'float', ['float', 'int'])]
SUBCLASSES = [('C1', 'Base'), ('C2', 'C1'), ('C3', 'Base')]
IMPLEMENTS_I = ('C1', 'C3')


class Method:
    def __init__(self, index, name, ret, params, owner=None, static=True, sync=False):
        self.index = index
        self.name = name
        self.ret = ret
        self.params = params            # types
        self.owner = owner              # class name for virtual bodies
        self.static = static
        self.sync = sync
        self.cost = 0
        self.body = []


class Scope:
    def __init__(self):
        self.frames = [[]]

    def push(self):
        self.frames.append([])

    def pop(self):
        self.frames.pop()

    def add(self, name, type_, assignable=True):
        self.frames[-1].append((name, type_, assignable))

    def names(self, type_, assignable=False):
        return [n for f in self.frames for (n, t, a) in f if t == type_ and (a or not assignable)]


class Gen:
    def __init__(self, seed, threads=True):
        self.threads = threads
        self.rng = random.Random(seed)
        self.seed = seed
        self.counter = 0
        self.methods = []
        self.budget_per_method = 4000

    # ---- helpers ----------------------------------------------------------
    def fresh(self, prefix):
        self.counter += 1
        return '%s%d' % (prefix, self.counter)

    def chance(self, p):
        return self.rng.random() < p

    def pick(self, seq):
        return self.rng.choice(seq)

    # ---- expressions ------------------------------------------------------
    # Each returns (text, cost).  `bounded` float/double expressions are
    # clamped values; raw ones are one operator applied to bounded operands.
    def leaf(self, t):
        r = self.rng.random()
        local = self.scope.names(t)
        if local and r < 0.45:
            return self.pick(local)
        if r < 0.6:
            if t == 'int':
                return self.pick(INT_LITERALS)
            if t == 'long':
                return self.pick(LONG_LITERALS)
            if t == 'double':
                return self.pick(DOUBLE_LITERALS)
            return self.pick(FLOAT_LITERALS)
        if r < 0.72:
            return self.pick(STATIC_FIELDS[t])
        if r < 0.86:
            return '%s[%s & 15]' % (ARRAYS[t], self.int_leaf_index())
        if self.this_fields and self.chance(0.6):
            return 'this.' + INSTANCE_FIELDS[t][0]
        if t == 'int' and self.chance(0.3):
            return 'ia.length'
        return 'objs[%s & 7].%s' % (self.int_leaf_index(), INSTANCE_FIELDS[t][0])

    def int_leaf_index(self):
        local = self.scope.names('int')
        if local and self.chance(0.7):
            return self.pick(local)
        return self.pick(['si0', 'si1', '3', '5', '11'])

    def expr(self, t, depth):
        if t == 'boolean':
            return self.cond(depth)
        if t in ('float', 'double'):
            return self.fexpr(t, depth)
        if depth <= 0 or self.chance(0.25):
            return self.leaf(t), 1
        r = self.rng.random()
        if r < 0.45:
            ops = ['+', '-', '*', '/', '%', '&', '|', '^', '<<', '>>', '>>>']
            op = self.pick(ops)
            a, ca = self.expr(t, depth - 1)
            if op in ('<<', '>>', '>>>'):
                b, cb = self.expr('int' if self.chance(0.7) else t, depth - 1)
                if t == 'int' and b.endswith('L'):
                    b = '(int) ' + b
                if self.scope.names('long') and t == 'int' and self.chance(0.2):
                    b = '(int) ' + self.pick(self.scope.names('long'))
            else:
                b, cb = self.expr(t, depth - 1)
            return '(%s %s %s)' % (a, op, b), ca + cb + 1
        if r < 0.52:
            a, c = self.expr(t, depth - 1)
            return '(%s %s)' % (self.pick(['-', '~']), a), c + 1
        if r < 0.62:
            # conversions into t
            if t == 'int':
                src = self.pick(['long', 'float', 'double', 'narrow'])
                if src == 'narrow':
                    a, c = self.expr('int', depth - 1)
                    return '((int) (%s) %s)' % (self.pick(['byte', 'short', 'char']), a), c + 1
            else:
                src = self.pick(['int', 'float', 'double'])
            if src in ('float', 'double'):
                a, c = self.fraw(src, depth - 1)
            else:
                a, c = self.expr(src, depth - 1)
            return '((%s) %s)' % (t, a), c + 1
        if r < 0.7:
            c0, cc = self.cond(depth - 1)
            a, ca = self.expr(t, depth - 1)
            b, cb = self.expr(t, depth - 1)
            return '(%s ? %s : %s)' % (c0, a, b), cc + ca + cb + 1
        if r < 0.78:
            a, ca = self.expr(t, depth - 1)
            b, cb = self.expr(t, depth - 1)
            fn = self.pick(['Math.min', 'Math.max'] + (['Math.abs'] * 1))
            if fn == 'Math.abs':
                return '%s(%s)' % (fn, a), ca + 1
            return '%s(%s, %s)' % (fn, a, b), ca + cb + 1
        call = self.call_expr(t, depth)
        if call:
            return call
        return self.leaf(t), 1

    def fexpr(self, t, depth):
        """A bounded float/double expression."""
        cl = CLAMP[t]
        if depth <= 0 or self.chance(0.25):
            return self.leaf(t), 1
        r = self.rng.random()
        if r < 0.45:
            a, c = self.fraw(t, depth)
            return '%s(%s)' % (cl, a), c + 1
        if r < 0.55:
            a, c = self.fexpr(t, depth - 1)
            return '(- %s)' % a, c + 1
        if r < 0.65:
            # from the integers (long and int values may exceed the bounds)
            src = self.pick(['int', 'long', 'other'])
            if src == 'other':
                other = 'double' if t == 'float' else 'float'
                a, c = self.fexpr(other, depth - 1)
                return '%s((%s) %s)' % (cl, t, a), c + 1
            a, c = self.expr(src, depth - 1)
            return '%s((%s) %s)' % (cl, t, a), c + 1
        if r < 0.75:
            c0, cc = self.cond(depth - 1)
            a, ca = self.fexpr(t, depth - 1)
            b, cb = self.fexpr(t, depth - 1)
            return '(%s ? %s : %s)' % (c0, a, b), cc + ca + cb + 1
        if r < 0.88:
            a, ca = self.fexpr(t, depth - 1)
            b, cb = self.fexpr(t, depth - 1)
            fn = self.pick(['Math.min', 'Math.max', 'Math.abs', 'sqrt'])
            if fn == 'Math.abs':
                return 'Math.abs(%s)' % a, ca + 1
            if fn == 'sqrt':
                if t == 'double':
                    return 'Math.sqrt(Math.abs(%s))' % a, ca + 2
                return '((float) Math.sqrt(Math.abs(%s)))' % a, ca + 2
            return '%s(%s, %s)' % (fn, a, b), ca + cb + 1
        call = self.call_expr(t, depth)
        if call:
            return call
        return self.leaf(t), 1

    def fraw(self, t, depth):
        """One operator on bounded operands (the result may be infinite or NaN)."""
        a, ca = self.fexpr(t, depth - 1)
        b, cb = self.fexpr(t, depth - 1)
        return '(%s %s %s)' % (a, self.pick(['+', '-', '*', '/', '%']), b), ca + cb + 1

    def cond(self, depth):
        r = self.rng.random()
        if depth <= 0 or r < 0.5:
            t = self.pick(NUMERIC)
            op = self.pick(['<', '<=', '>', '>=', '==', '!='])
            if t in ('float', 'double'):
                a, ca = (self.fraw(t, depth) if self.chance(0.5) else self.fexpr(t, depth - 1))
                b, cb = self.fexpr(t, depth - 1)
            else:
                a, ca = self.expr(t, max(depth - 1, 0))
                b, cb = self.expr(t, max(depth - 1, 0))
            return '(%s %s %s)' % (a, op, b), ca + cb + 1
        if r < 0.6:
            a, c = self.cond(depth - 1)
            return '(!%s)' % a, c + 1
        if r < 0.8:
            a, ca = self.cond(depth - 1)
            b, cb = self.cond(depth - 1)
            return '(%s %s %s)' % (a, self.pick(['&&', '||', '&', '|', '^']), b), ca + cb + 1
        if r < 0.9:
            return '(objs[%s & 7] instanceof %s)' % (self.int_leaf_index(), self.pick(['C1', 'C2', 'C3', 'I'])), 2
        local = self.scope.names('boolean')
        if local:
            return self.pick(local), 1
        return self.pick(['sz', '(!sz)']), 1

    def args_for(self, params, depth):
        out, cost = [], 0
        for p in params:
            a, c = self.expr(p, max(depth - 1, 0))
            out.append(a)
            cost += c
        return out, cost

    def callable_methods(self, t=None):
        room = self.budget_per_method - self.spent
        return [m for m in self.methods if m.index > self.current.index and (t is None or m.ret == t)
                and (m.cost + 2) * self.mult <= room]

    def call_expr(self, t, depth):
        """A call returning t, or None when no method may be called here."""
        choices = self.callable_methods(t)
        if not choices:
            return None
        m = self.pick(choices)
        args, cost = self.args_for(m.params, depth)
        cost += m.cost + 2
        if m.static:
            return '%s(%s)' % (m.name, ', '.join(args)), cost
        if m.name == 'im':
            recv = 'objs[%s & 7]' % self.int_leaf_index()
            return '(%s instanceof I ? ((I) %s).im(%s) : %s)' % (recv, recv, ', '.join(args), ZERO[t]), cost + 2
        if self.chance(0.15):
            # a cast that may fail (ClassCastException, caught by main)
            return '((C1) objs[%s & 7]).%s(%s)' % (self.int_leaf_index(), m.name, ', '.join(args)), cost + 1
        return 'objs[%s & 7].%s(%s)' % (self.int_leaf_index(), m.name, ', '.join(args)), cost

    # ---- statements -------------------------------------------------------
    def emit(self, line):
        self.out.append('    ' * self.indent + line)

    def block(self, n, depth, mult=1):
        self.scope.push()
        for _ in range(n):
            if self.spent > self.budget_per_method:
                break
            self.mult = mult
            self.statement(depth, mult)
        self.mult = mult
        self.scope.pop()

    def charge(self, cost, mult):
        self.spent += cost * mult

    def assign_target(self, t):
        r = self.rng.random()
        local = self.scope.names(t, assignable=True)
        if local and r < 0.5:
            return self.pick(local)
        if r < 0.65:
            return self.pick(STATIC_FIELDS[t])
        if r < 0.85:
            return '%s[%s & 15]' % (ARRAYS[t], self.int_leaf_index())
        if self.this_fields:
            return 'this.' + INSTANCE_FIELDS[t][0]
        return 'objs[%s & 7].%s' % (self.int_leaf_index(), INSTANCE_FIELDS[t][0])

    def statement(self, depth, mult):
        r = self.rng.random()
        nested = depth > 0
        if r < 0.22:
            t = self.pick(NUMERIC)
            target = self.assign_target(t)
            e, c = self.expr(t, 3)
            if t in ('int', 'long') and self.chance(0.4):
                self.emit('%s %s= %s;' % (target, self.pick(['+', '-', '*', '^', '|', '&', '<<', '>>>', '/', '%']), e))
            else:
                self.emit('%s = %s;' % (target, e))
            self.charge(c + 1, mult)
        elif r < 0.34:
            t = self.pick(NUMERIC + ('boolean',))
            name = self.fresh({'int': 'i', 'long': 'l', 'float': 'f', 'double': 'd', 'boolean': 'z'}[t])
            e, c = self.expr(t, 3)
            self.emit('%s %s = %s;' % (t, name, e))
            self.scope.add(name, t)
            self.charge(c + 1, mult)
        elif r < 0.46:
            t = self.pick(NUMERIC + ('boolean',))
            if t in ('float', 'double') and self.chance(0.5):
                e, c = self.fraw(t, 3)
            else:
                e, c = self.expr(t, 3)
            self.emit('%s(%s);' % (MIX[t], e))
            self.charge(c + 2, mult)
        elif r < 0.52:
            t = self.pick(['int', 'long'])
            self.emit('%s%s;' % (self.assign_target(t), self.pick(['++', '--'])))
            self.charge(2, mult)
        elif r < 0.6 and nested:
            c0, cc = self.cond(2)
            self.emit('if (%s) {' % c0)
            self.indent += 1
            self.block(self.rng.randint(1, 3), depth - 1, mult)
            self.indent -= 1
            if self.chance(0.5):
                self.emit('} else {')
                self.indent += 1
                self.block(self.rng.randint(1, 3), depth - 1, mult)
                self.indent -= 1
            self.emit('}')
            self.charge(cc, mult)
        elif r < 0.68 and nested:
            self.loop(depth, mult)
        elif r < 0.74 and nested:
            self.switch(depth, mult)
        elif r < 0.8 and nested:
            self.try_catch(depth, mult)
        elif r < 0.84 and nested:
            self.emit('synchronized (%s) {' % self.pick(['lock', 'objs[1]', 'R%d.class' % self.seed]))
            self.indent += 1
            self.block(self.rng.randint(1, 3), depth - 1, mult)
            self.indent -= 1
            self.emit('}')
            self.charge(3, mult)
        elif r < 0.88:
            c0, cc = self.cond(2)
            self.emit('if (%s) throw new E(%d);' % (c0, self.rng.randint(1, 99)))
            self.charge(cc + 1, mult)
        elif r < 0.94:
            choices = self.callable_methods()
            if choices:
                m = self.pick(choices)
                call, c = self.call_expr(m.ret, 2) or ('0', 0)
                if m.ret == 'boolean':
                    self.emit('mixZ(%s);' % call)
                else:
                    self.emit('%s(%s);' % (MIX[m.ret], call))
                self.charge(c, mult)
        elif r < 0.97:
            # arrays: a fresh one whose size may be negative, a copy, a store
            size, c = self.expr('int', 1)
            name = self.fresh('a')
            self.emit('int[] %s = new int[(%s) %% 9];' % (name, size))
            self.emit('%s[%s.length - 1] = %s;' % (name, name, self.expr('int', 1)[0]))
            self.emit('System.arraycopy(%s, 0, ia, %s & 7, %s.length);' % (name, self.int_leaf_index(), name))
            self.emit('mix(%s[0] + %s.length);' % (name, name))
            self.charge(c + 30, mult)
        else:
            e, c = self.expr('int', 2)
            self.emit('objs[%s & 7] = make(%s);' % (self.int_leaf_index(), e))
            self.charge(c + 10, mult)

    def loop(self, depth, mult):
        n = self.rng.randint(1, 12)
        kind = self.pick(['for', 'for', 'while', 'do'])
        var = self.fresh('k')
        if kind == 'for':
            step = self.pick(['%s++', '%s += 2', '++%s'])
            self.emit('for (int %s = 0; %s < %d; %s) {' % (var, var, n, step % var))
        elif kind == 'while':
            self.emit('int %s = %d;' % (var, n))
            self.emit('while (%s-- > 0) {' % var)
        else:
            self.emit('int %s = %d;' % (var, n))
            self.emit('do {')
        self.indent += 1
        self.scope.push()
        self.scope.add(var, 'int', assignable=False)
        if self.chance(0.3):
            c0, cc = self.cond(1)
            self.emit('if (%s) %s;' % (c0, self.pick(['break', 'continue'])))
        self.block(self.rng.randint(1, 4), depth - 1, mult * n)
        self.scope.pop()
        self.indent -= 1
        if kind == 'do':
            self.emit('} while (--%s > 0);' % var)
        else:
            self.emit('}')

    def switch(self, depth, mult):
        e, c = self.expr('int', 2)
        if self.chance(0.5):
            labels = list(range(self.rng.randint(2, 6)))          # dense: tableswitch
            key = '(%s) & 7' % e
        else:
            labels = self.rng.sample([-1000000, -77, -3, 0, 2, 9, 64, 1000, 65536, 0x7fffffff], self.rng.randint(2, 5))
            key = e                                                 # sparse: lookupswitch
        self.emit('switch (%s) {' % key)
        for v in sorted(labels):
            self.emit('case %d:' % v)
            self.indent += 1
            self.block(self.rng.randint(1, 2), depth - 1, mult)
            if self.chance(0.75):
                self.emit('break;')
            self.indent -= 1
        self.emit('default:')
        self.indent += 1
        self.block(1, depth - 1, mult)
        self.indent -= 1
        self.emit('}')
        self.charge(c + 2, mult)

    def try_catch(self, depth, mult):
        self.emit('try {')
        self.indent += 1
        self.block(self.rng.randint(1, 4), depth - 1, mult)
        self.indent -= 1
        catches = self.rng.sample(['E', 'ArithmeticException', 'ArrayIndexOutOfBoundsException',
                                   'NullPointerException', 'RuntimeException'], self.rng.randint(1, 3))
        if 'RuntimeException' in catches:
            catches.remove('RuntimeException')
            catches.append('RuntimeException')                     # the widest last
        for exc in catches:
            var = self.fresh('x')
            self.emit('} catch (%s %s) {' % (exc, var))
            self.indent += 1
            self.emit('mix(%s);' % ('%s.code' % var if exc == 'E' else str(len(exc))))
            if self.chance(0.3):
                self.block(1, 0, mult)
            self.indent -= 1
        if self.chance(0.35):
            self.emit('} finally {')
            self.indent += 1
            self.emit('mix(%d);' % self.rng.randint(100, 999))
            self.indent -= 1
        self.emit('}')
        self.charge(4, mult)

    # ---- methods and the program -----------------------------------------
    def body(self, m, this_fields):
        self.out = []
        self.indent = 2
        self.scope = Scope()
        self.current = m
        self.spent = 0
        self.mult = 1
        self.this_fields = this_fields
        names = []
        for i, p in enumerate(m.params):
            name = 'p%d' % i
            names.append(name)
            self.scope.add(name, p)
        if m.name == 'rec':
            self.emit('if ((p0 & 15) == 0) return p1 ^ 0x5bd1e995;')
            self.emit('mix(p0);')
            self.emit('return rec((p0 & 15) - 1, p1 * 31 + p0) + (p1 >>> 3);')
            m.cost = 64
            return self.out, ', '.join('%s %s' % (p, n) for p, n in zip(m.params, names))
        self.block(self.rng.randint(3, 9), 3, 1)
        e, c = self.expr(m.ret, 3)
        self.emit('return %s;' % e)
        m.cost = self.spent + c
        return self.out, ', '.join('%s %s' % (p, n) for p, n in zip(m.params, names))

    def program(self):
        rng = self.rng
        # Method numbers: lower may call higher.  Statics, the virtual slots
        # and the interface method share one numbering.
        specs = []
        nstatic = rng.randint(5, 10)
        for i in range(nstatic):
            ret = rng.choice(NUMERIC + ('boolean',)) if i else 'int'
            params = [rng.choice(NUMERIC) for _ in range(rng.randint(0, 4))]
            specs.append(('s', 'm%d' % i, ret, params))
        for name, ret, params in VIRTUALS:
            specs.append(('v', name, ret, params))
        specs.append(('i', 'im', 'long', ['int', 'long']))
        rng.shuffle(specs)
        specs.append(('s', 'rec', 'int', ['int', 'int']))
        for idx, (kind, name, ret, params) in enumerate(specs):
            m = Method(idx, name, ret, params, static=(kind == 's'), sync=(kind != 'i' and rng.random() < 0.2))
            self.methods.append(m)

        # Bodies from the highest number down, so callers know their callees' cost.
        static_src, class_bodies = [], {c: [] for c in ['Base', 'C1', 'C2', 'C3']}
        for m in sorted(self.methods, key=lambda m: -m.index):
            if m.static:
                lines, params = self.body(m, False)
                mods = 'static synchronized' if m.sync else 'static'
                static_src.append('    %s %s %s(%s) {' % (mods, m.ret, m.name, params))
                static_src += lines + ['    }', '']
                continue
            owners = ['Base'] + [c for c, _ in SUBCLASSES if rng.random() < 0.6]
            if m.name == 'im':
                owners = list(IMPLEMENTS_I)
            cost = 0
            for owner in owners:
                lines, params = self.body(m, True)
                cost = max(cost, m.cost)
                mods = 'synchronized ' if m.sync and owner != 'C3' else ''
                class_bodies[owner].append('        %s%s %s(%s) {' % ('public ' if m.name == 'im' else '', mods + m.ret,
                                                                      m.name, params))
                class_bodies[owner] += lines + ['        }']
            m.cost = cost

        out = []
        w = out.append
        w('// Generated by tests/tools/gen_random_java.py %d: do not edit.' % self.seed)
        w('public class R%d {' % self.seed)
        w('    static long cs = %dL;' % rng.randint(0, 1 << 30))
        w('    static int si0 = %d, si1 = %d;' % (rng.randint(-99, 99), rng.randint(0, 1 << 20)))
        w('    static long sl0 = %dL, sl1 = %dL;' % (rng.randint(-1 << 40, 1 << 40), rng.randint(0, 99)))
        w('    static float sf0 = %s;' % rng.choice(FLOAT_LITERALS))
        w('    static double sd0 = %s, sd1 = %s;' % (rng.choice(DOUBLE_LITERALS), rng.choice(DOUBLE_LITERALS)))
        w('    static boolean sz = %s;' % rng.choice(['true', 'false']))
        w('    static int[] ia = new int[16];')
        w('    static long[] la = new long[16];')
        w('    static float[] fa = new float[16];')
        w('    static double[] da = new double[16];')
        w('    static Base[] objs = new Base[8];')
        w('    static final Object lock = new Object();')
        w('')
        w('    static void mix(int v) { cs = cs * 31 + v; }')
        w('    static void mix(long v) { cs = cs * 31 + (v ^ (v >>> 29)); }')
        w('    static void mixZ(boolean v) { cs = cs * 31 + (v ? 1231 : 1237); }')
        w('    static void mixF(float v) { mix(Float.floatToIntBits(v)); }')
        w('    static void mixD(double v) { mix(Double.doubleToLongBits(v)); }')
        w('    // Keep every float and double operand within [1e-10, 1e10] or zero.')
        w('    static double clD(double v) {')
        w('        if (v != v) return 0.25;')
        w('        if (v > 1e10 || v < -1e10) return v > 0 ? 9.5e9 : -9.5e9;')
        w('        if (v < 1e-10 && v > -1e-10) return v == 0.0 ? v : 0.0;')
        w('        return v;')
        w('    }')
        w('    static float clF(float v) {')
        w('        if (v != v) return 0.25f;')
        w('        if (v > 1e10f || v < -1e10f) return v > 0 ? 9.5e9f : -9.5e9f;')
        w('        if (v < 1e-10f && v > -1e-10f) return v == 0.0f ? v : 0.0f;')
        w('        return v;')
        w('    }')
        w('')
        w('    static class E extends RuntimeException {')
        w('        final int code;')
        w('        E(int code) { super("E" + code); this.code = code; }')
        w('    }')
        w('    interface I { long im(int p0, long p1); }')
        w('')
        w('    static class Base {')
        w('        int fi; long fl; float ff; double fd;')
        w('        Base(int seed) { fi = seed; fl = (long) seed << 20; ff = seed * 0.5f; fd = seed / 4.0; }')
        w('        int tag() { return 1; }')
        class_bodies['Base'] += ['        %s %s(%s) { return %s; }' % (r, n, ', '.join('%s p%d' % (p, i) for i, p in enumerate(ps)),
                                                                       ZERO[r])
                                 for n, r, ps in VIRTUALS if not any('%s %s(' % (r, n) in l for l in class_bodies['Base'])]
        out += class_bodies['Base']
        w('    }')
        for cls, sup in SUBCLASSES:
            impl = ' implements I' if cls in IMPLEMENTS_I else ''
            w('    static class %s extends %s%s {' % (cls, sup, impl))
            w('        %s(int seed) { super(seed * %d + 1); fi ^= %d; }' % (cls, rng.randint(2, 9), rng.randint(0, 255)))
            w('        int tag() { return %d; }' % rng.randint(2, 99))
            out += class_bodies[cls]
            w('    }')
        w('')
        w('    static Base make(int k) {')
        w('        switch (k & 3) {')
        w('        case 0: return new Base(k);')
        w('        case 1: return new C1(k);')
        w('        case 2: return new C2(k);')
        w('        default: return new C3(k);')
        w('        }')
        w('    }')
        w('')
        out += static_src
        threads = rng.random() < 0.4 and self.threads
        if threads:
            n = rng.randint(50, 400)
            # shared counts under `lock`, bumps under the class's monitor
            # (a static synchronized method): each under one monitor only.
            w('    static int shared, bumps;')
            w('    static void counters() throws InterruptedException {')
            w('        Thread[] ts = new Thread[2];')
            w('        for (int t = 0; t < 2; t++) {')
            w('            final int add = t + %d;' % rng.randint(1, 9))
            w('            ts[t] = new Thread() {')
            w('                public void run() {')
            w('                    for (int i = 0; i < %d; i++) {' % n)
            w('                        synchronized (lock) { shared += add; }')
            w('                        bump(i & 1);')
            w('                    }')
            w('                }')
            w('            };')
            w('            ts[t].start();')
            w('        }')
            w('        for (int t = 0; t < 2; t++) ts[t].join();')
            w('        mix(shared);')
            w('        mix(bumps);')
            w('    }')
            w('    static synchronized void bump(int v) { bumps += v; }')
            w('')
        w('    public static void main(String[] args) throws Exception {')
        w('        for (int k = 0; k < 8; k++) objs[k] = make(k * %d + %d);' % (rng.randint(1, 7), rng.randint(0, 9)))
        w('        objs[%d] = null;' % rng.randint(0, 7))
        w('        for (int k = 0; k < 16; k++) { ia[k] = k * %d; la[k] = (long) k << %d; fa[k] = k * 0.75f; da[k] = k / 3.0; }'
          % (rng.randint(1, 999), rng.randint(1, 40)))
        steps = rng.randint(6, 14)
        for step in range(steps):
            m = rng.choice([x for x in self.methods if x.static])
            self.current = Method(-1, 'main', 'void', [])
            self.scope = Scope()
            self.this_fields = False
            self.spent = 0
            self.mult = 1
            args = [self.leaf(p) if rng.random() < 0.5 else rng.choice({'int': INT_LITERALS, 'long': LONG_LITERALS,
                                                                         'float': FLOAT_LITERALS,
                                                                         'double': DOUBLE_LITERALS}[p])
                    for p in m.params]
            reps = rng.choice([1, 1, 2, 3])
            w('        for (int r = 0; r < %d; r++) {' % reps)
            w('            try {')
            w('                %s(%s(%s));' % (MIX[m.ret], m.name, ', '.join(args)))
            w('            } catch (E e) {')
            w('                mix(e.code);')
            w('            } catch (ArithmeticException e) {')
            w('                mix(-1);')
            w('            } catch (ArrayIndexOutOfBoundsException e) {')
            w('                mix(-2);')
            w('            } catch (NullPointerException e) {')
            w('                mix(-3);')
            w('            } catch (ClassCastException e) {')
            w('                mix(-4);')
            w('            } catch (NegativeArraySizeException e) {')
            w('                mix(-5);')
            w('            }')
            w('        }')
            w('        System.out.println("%d %s " + cs);' % (step, m.name))
            if threads and step == steps // 2:
                w('        counters();')
                w('        System.out.println("threads " + cs);')
        w('        long fields = si0 * 31L + si1 + sl0 + sl1 + Float.floatToIntBits(sf0) + Double.doubleToLongBits(sd0)')
        w('            + Double.doubleToLongBits(sd1);')
        w('        for (int k = 0; k < 16; k++)')
        w('            fields = fields * 7 + ia[k] + la[k] + Float.floatToIntBits(fa[k]) + Double.doubleToLongBits(da[k]);')
        w('        for (int k = 0; k < 8; k++)')
        w('            if (objs[k] != null) fields = fields * 5 + objs[k].tag() + objs[k].fi + objs[k].fl;')
        w('        System.out.println("end " + cs + " " + fields);')
        w('    }')
        w('}')
        return '\n'.join(out) + '\n'


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write('usage: gen_random_java.py SEED [OUTDIR]\n')
        return 2
    seed = int(argv[1])
    outdir = argv[2] if len(argv) == 3 else '.'
    with open(os.path.join(outdir, 'R%d.java' % seed), 'w') as f:
        f.write(Gen(seed).program())
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
