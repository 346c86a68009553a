#!/usr/bin/env python3
"""Prints a class file's constant-pool size and, per method, each
instruction that the interpreter quickens with its constant-pool operand.

Used to check that the quickening test really reaches the wide forms
(indexes above 255): cpinfo.py 'build/tests/java/classes/Quicken$Big.class'
"""
import struct
import sys

from classfile import read_constant_pool

# opcode -> (name, operand kind): 'u1' one-byte cp index, 'u2' two-byte index
QUICKENABLE = {
    18: ('ldc', 'u1'), 19: ('ldc_w', 'u2'), 20: ('ldc2_w', 'u2'),
    178: ('getstatic', 'u2'), 179: ('putstatic', 'u2'), 180: ('getfield', 'u2'), 181: ('putfield', 'u2'),
    182: ('invokevirtual', 'u2'), 183: ('invokespecial', 'u2'), 184: ('invokestatic', 'u2'),
    185: ('invokeinterface', 'u2'), 187: ('new', 'u2'), 189: ('anewarray', 'u2'),
    192: ('checkcast', 'u2'), 193: ('instanceof', 'u2'), 197: ('multianewarray', 'u2'),
}

# Instruction lengths for the fixed-length opcodes (0 = variable).
LENGTHS = [1] * 256
for op in (16, 18, 21, 22, 23, 24, 25, 54, 55, 56, 57, 58, 169, 188):
    LENGTHS[op] = 2
for op in (17, 19, 20, 132, 153, 154, 155, 156, 157, 158, 159, 160, 161, 162, 163, 164, 165, 166, 167, 168,
           178, 179, 180, 181, 182, 183, 184, 187, 189, 192, 193, 198, 199):
    LENGTHS[op] = 3
LENGTHS[197] = 4
for op in (185, 186, 200, 201):
    LENGTHS[op] = 5
for op in (170, 171, 196):
    LENGTHS[op] = 0


def parse(data):
    utf8, pos = read_constant_pool(data)
    pos += 6
    nif = struct.unpack_from('>H', data, pos)[0]
    pos += 2 + 2 * nif

    def members(pos, want_code):
        n = struct.unpack_from('>H', data, pos)[0]
        pos += 2
        out = []
        for _ in range(n):
            _, name, desc, nattr = struct.unpack_from('>HHHH', data, pos)
            pos += 8
            code = None
            for _ in range(nattr):
                aname, alen = struct.unpack_from('>HI', data, pos)
                if want_code and utf8.get(aname) == 'Code':
                    clen = struct.unpack_from('>I', data, pos + 10)[0]
                    code = data[pos + 14:pos + 14 + clen]
                pos += 6 + alen
            out.append((utf8[name] + utf8[desc], code))
        return pos, out

    pos, _ = members(pos, False)
    pos, methods = members(pos, True)
    return struct.unpack_from('>H', data, 8)[0], methods


def instructions(code):
    pc = 0
    while pc < len(code):
        op = code[pc]
        wide = op == 196
        if op in (170, 171):
            pad = (4 - (pc + 1) % 4) % 4
            base = pc + 1 + pad
            if op == 170:
                lo, hi = struct.unpack_from('>ii', code, base + 4)
                length = 1 + pad + 12 + 4 * (hi - lo + 1)
            else:
                npairs = struct.unpack_from('>i', code, base + 4)[0]
                length = 1 + pad + 8 + 8 * npairs
        elif wide:
            length = 6 if code[pc + 1] == 132 else 4
        else:
            length = LENGTHS[op]
        yield pc, op, code[pc:pc + length]
        pc += length


def main():
    for path in sys.argv[1:]:
        with open(path, 'rb') as f:
            count, methods = parse(f.read())
        print('%s: constant_pool_count %d' % (path, count))
        for name, code in methods:
            if code is None:
                continue
            uses = []
            for pc, op, ins in instructions(code):
                if op in QUICKENABLE:
                    mnem, kind = QUICKENABLE[op]
                    idx = ins[1] if kind == 'u1' else struct.unpack_from('>H', ins, 1)[0]
                    uses.append('%s#%d' % (mnem, idx))
            if uses:
                print('  %s: %s' % (name, ' '.join(uses)))


if __name__ == '__main__':
    main()
