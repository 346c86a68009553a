#!/usr/bin/env python3
"""Writes QgJsr.class, the subroutine fixtures of the quadruple-generation
tests (javac no longer emits jsr and ret).  Version 49, so no StackMapTable.

  gen_qg_jsr.py OUTDIR

  static int sub(int a)     jsr to a subroutine that increments a and rets
      0: jsr 5   3: iload_0   4: ireturn   5: astore_1   6: iinc 0 1   9: ret 1
  static int never(int a)   jsr to a subroutine that always throws
      0: jsr 5   3: iload_0   4: ireturn   5: astore_1   6: aconst_null   7: athrow
"""
import os
import struct
import sys


def u2(v):
    return struct.pack('>H', v)


class Pool:
    def __init__(self):
        self.entries, self.index = [], {}

    def add(self, key, raw):
        if key not in self.index:
            self.entries.append(raw)
            self.index[key] = len(self.entries)
        return self.index[key]

    def utf8(self, s):
        b = s.encode()
        return self.add(('u', s), b'\x01' + u2(len(b)) + b)

    def cls(self, name):
        return self.add(('c', name), b'\x07' + u2(self.utf8(name)))


def method(pool, name, desc, code, max_stack, max_locals):
    body = u2(max_stack) + u2(max_locals) + struct.pack('>I', len(code)) + code + u2(0) + u2(0)
    attr = u2(pool.utf8('Code')) + struct.pack('>I', len(body)) + body
    return u2(0x0009) + u2(pool.utf8(name)) + u2(pool.utf8(desc)) + u2(1) + attr


def main():
    out = sys.argv[1]
    pool = Pool()
    this, sup = pool.cls('QgJsr'), pool.cls('java/lang/Object')
    sub = bytes([0xa8, 0, 5, 0x1a, 0xac, 0x4c, 0x84, 0, 1, 0xa9, 1])
    never = bytes([0xa8, 0, 5, 0x1a, 0xac, 0x4c, 0x01, 0xbf])
    methods = [method(pool, 'sub', '(I)I', sub, 1, 2), method(pool, 'never', '(I)I', never, 1, 2)]
    data = struct.pack('>IHH', 0xCAFEBABE, 0, 49)
    data += u2(len(pool.entries) + 1) + b''.join(pool.entries)
    data += u2(0x0021) + u2(this) + u2(sup) + u2(0) + u2(0)
    data += u2(len(methods)) + b''.join(methods) + u2(0)
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, 'QgJsr.class'), 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
