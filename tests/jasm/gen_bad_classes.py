#!/usr/bin/env python3
"""The table of malformed class files, and the generator that writes them.

Every case is a small class written byte by byte: the baseline class
(a constructor, `main` printing "ok", an instance field `f` and a static
method `m(I)I`) with one defect.  Each row names the error the VM must raise
when the class is loaded (ClassFormatError or VerifyError; a row may allow
both where the defect can fairly be reported either way), and the classes
named Ok* are controls that must load and run.

  gen_bad_classes.py --list        prints "Name Expected[|Expected...]" per case
  gen_bad_classes.py OUTDIR        writes OUTDIR/Name.class for every case

The driver LoadBad.java loads each class with Class.forName and prints the
class of the error; run_jasm_test.sh compares it with this table.

The classes are version 49 unless a row says otherwise, so that they need
no StackMapTable.  Every row was cross-checked by loading the classes on
the machine's OpenJDK (java -cp OUTDIR LoadBad ...): it agrees with the
table except where a comment says our VM is stricter.
"""
import os
import struct
import sys

CFE = 'ClassFormatError'
VE = 'VerifyError'
CCE = 'ClassCircularityError'
OK = 'ok'

# ---------------------------------------------------------------------------
# A minimal class-file writer
# ---------------------------------------------------------------------------


class Pool:
    def __init__(self):
        self.entries = []      # raw bytes of each entry, in order
        self.index = {}        # key -> index
        self.count = 1         # next free index

    def _add(self, key, raw, wide=False):
        if key in self.index:
            return self.index[key]
        i = self.count
        self.entries.append(raw)
        self.index[key] = i
        self.count += 2 if wide else 1
        return i

    def raw(self, tag, payload, wide=False):
        """An entry added as is (no sharing), for malformed pools."""
        i = self.count
        self.entries.append(bytes([tag]) + payload)
        self.count += 2 if wide else 1
        return i

    def utf8(self, s):
        b = s.encode('utf-8')
        return self._add(('utf8', s), b'\x01' + struct.pack('>H', len(b)) + b)

    def cls(self, name):
        n = self.utf8(name)
        return self._add(('class', name), b'\x07' + struct.pack('>H', n))

    def string(self, s):
        n = self.utf8(s)
        return self._add(('string', s), b'\x08' + struct.pack('>H', n))

    def integer(self, v):
        return self._add(('int', v), b'\x03' + struct.pack('>i', v))

    def long(self, v):
        return self._add(('long', v), b'\x05' + struct.pack('>q', v), wide=True)

    def nat(self, name, desc):
        n, d = self.utf8(name), self.utf8(desc)
        return self._add(('nat', name, desc), b'\x0c' + struct.pack('>HH', n, d))

    def _ref(self, tag, kind, owner, name, desc):
        c, nt = self.cls(owner), self.nat(name, desc)
        return self._add((kind, owner, name, desc), bytes([tag]) + struct.pack('>HH', c, nt))

    def field(self, owner, name, desc):
        return self._ref(9, 'field', owner, name, desc)

    def method(self, owner, name, desc):
        return self._ref(10, 'method', owner, name, desc)

    def imethod(self, owner, name, desc):
        return self._ref(11, 'imethod', owner, name, desc)

    def data(self):
        return struct.pack('>H', self.count) + b''.join(self.entries)


def u2(v):
    return struct.pack('>H', v & 0xFFFF)


def s2(v):
    return struct.pack('>h', v)


def s4(v):
    return struct.pack('>i', v)


def attribute(pool, name, payload):
    return u2(pool.utf8(name)) + struct.pack('>I', len(payload)) + payload


def code_attr(pool, max_stack, max_locals, code, handlers=(), length_delta=0):
    """handlers: (start, end, handler, catch_type index)."""
    body = u2(max_stack) + u2(max_locals) + struct.pack('>I', len(code)) + code
    body += u2(len(handlers))
    for h in handlers:
        body += u2(h[0]) + u2(h[1]) + u2(h[2]) + u2(h[3])
    body += u2(0)
    out = attribute(pool, 'Code', body)
    if length_delta:
        # Lie about the attribute length (the bytes stay the same).
        n = struct.unpack('>I', out[2:6])[0] + length_delta
        out = out[:2] + struct.pack('>I', n) + out[6:]
    return out


def member(pool, access, name, desc, attrs=b'', nattrs=None):
    n = nattrs if nattrs is not None else (1 if attrs else 0)
    return u2(access) + u2(pool.utf8(name)) + u2(pool.utf8(desc)) + u2(n) + attrs


ACC_PUBLIC, ACC_STATIC, ACC_FINAL, ACC_SUPER = 0x1, 0x8, 0x10, 0x20
ACC_INTERFACE, ACC_ABSTRACT = 0x200, 0x400

# Opcodes used below.
ACONST_NULL = 0x01
ICONST_0, ICONST_1, ICONST_2, ICONST_3 = 0x03, 0x04, 0x05, 0x06
BIPUSH, SIPUSH, LDC, LDC_W, LDC2_W = 0x10, 0x11, 0x12, 0x13, 0x14
ILOAD, LLOAD, ALOAD = 0x15, 0x16, 0x19
ILOAD_0, ALOAD_0 = 0x1a, 0x2a
ISTORE, ASTORE = 0x36, 0x3a
IASTORE = 0x4f
POP, DUP = 0x57, 0x59
IADD = 0x60
IINC = 0x84
IFEQ, GOTO, JSR, RET = 0x99, 0xa7, 0xa8, 0xa9
TABLESWITCH, LOOKUPSWITCH = 0xaa, 0xab
IRETURN, RETURN, ATHROW = 0xac, 0xb1, 0xbf
GETSTATIC, GETFIELD, INVOKEVIRTUAL, INVOKESPECIAL, INVOKESTATIC, INVOKEINTERFACE = 0xb2, 0xb4, 0xb6, 0xb7, 0xb8, 0xb9
INVOKEDYNAMIC, NEW, NEWARRAY, ANEWARRAY, MULTIANEWARRAY = 0xba, 0xbb, 0xbc, 0xbd, 0xc5
WIDE = 0xc4
POP2 = 0x58


class Spec:
    """What a case changes in the baseline class."""

    def __init__(self, **kw):
        self.major = kw.get('major', 49)
        self.minor = kw.get('minor', 0)
        self.magic = kw.get('magic', 0xCAFEBABE)
        self.m_code = kw.get('m_code')              # function(pool) -> bytes, or bytes
        self.m_stack = kw.get('m_stack', 2)
        self.m_locals = kw.get('m_locals', 1)
        self.m_desc = kw.get('m_desc', '(I)I')
        self.m_handlers = kw.get('m_handlers', ())  # function(pool) -> tuple, or tuple
        self.m_length_delta = kw.get('m_length_delta', 0)
        self.m_no_code = kw.get('m_no_code', False)
        self.pool_extra = kw.get('pool_extra')      # function(pool) called before writing
        self.this_index = kw.get('this_index')      # function(pool, this) -> index
        self.super_name = kw.get('super_name', 'java/lang/Object')
        self.field_desc = kw.get('field_desc', 'I')
        self.class_attrs = kw.get('class_attrs')    # function(pool) -> list of attribute bytes
        self.interface = kw.get('interface', False)  # write an interface instead
        self.iface_method = kw.get('iface_method')  # (access, with code) for the interface's method
        self.truncate = kw.get('truncate')          # function(data) -> shorter data


def ok_m_code(pool):
    return bytes([ILOAD_0, IRETURN])


def build(name, spec):
    pool = Pool()
    this = pool.cls(name)
    sup = pool.cls(spec.super_name)
    methods = []
    fields = []
    if spec.interface:
        access = ACC_PUBLIC | ACC_INTERFACE | ACC_ABSTRACT
        acc, with_code = spec.iface_method
        if with_code:
            attrs = code_attr(pool, 1, 1, bytes([ICONST_1, IRETURN]))
        else:
            attrs = b''
        methods.append(member(pool, acc, 'm', '()I', attrs))
    else:
        access = ACC_PUBLIC | ACC_SUPER
        init = pool.method('java/lang/Object', '<init>', '()V')
        methods.append(member(pool, ACC_PUBLIC, '<init>', '()V',
                              code_attr(pool, 1, 1, bytes([ALOAD_0, INVOKESPECIAL]) + u2(init) + bytes([RETURN]))))
        out = pool.field('java/lang/System', 'out', 'Ljava/io/PrintStream;')
        ok = pool.string('ok')
        println = pool.method('java/io/PrintStream', 'println', '(Ljava/lang/String;)V')
        main_code = bytes([GETSTATIC]) + u2(out) + bytes([LDC, ok]) + bytes([INVOKEVIRTUAL]) + u2(println) + bytes([RETURN])
        if ok > 255:
            raise ValueError('baseline pool too big')
        methods.append(member(pool, ACC_PUBLIC | ACC_STATIC, 'main', '([Ljava/lang/String;)V',
                              code_attr(pool, 2, 1, main_code)))
        fields.append(member(pool, 0, 'f', spec.field_desc))
        if spec.m_no_code:
            methods.append(member(pool, ACC_STATIC, 'm', spec.m_desc))
        else:
            code = (spec.m_code(pool) if callable(spec.m_code)
                    else ok_m_code(pool) if spec.m_code is None else spec.m_code)
            handlers = spec.m_handlers(pool) if callable(spec.m_handlers) else spec.m_handlers
            methods.append(member(pool, ACC_STATIC, 'm', spec.m_desc,
                                  code_attr(pool, spec.m_stack, spec.m_locals, code, handlers, spec.m_length_delta)))
    class_attrs = spec.class_attrs(pool) if spec.class_attrs else []
    if spec.pool_extra:
        spec.pool_extra(pool)
    this_index = spec.this_index(pool, this) if spec.this_index else this
    data = struct.pack('>IHH', spec.magic, spec.minor, spec.major)
    data += pool.data()
    data += u2(access) + u2(this_index) + u2(sup) + u2(0)
    data += u2(len(fields)) + b''.join(fields)
    data += u2(len(methods)) + b''.join(methods)
    data += u2(len(class_attrs)) + b''.join(class_attrs)
    if spec.truncate:
        data = spec.truncate(data)
    return data


# ---------------------------------------------------------------------------
# The cases
# ---------------------------------------------------------------------------


def code(*parts):
    out = b''
    for p in parts:
        out += bytes(p) if isinstance(p, (list, tuple)) else p
    return out


def getfield_wrong_tag(pool):
    # getfield whose operand is a Methodref.
    mref = pool.method('java/lang/Object', 'hashCode', '()I')
    return code([ACONST_NULL], [GETFIELD], u2(mref), [IRETURN])



def invoke_wrong_tag(pool):
    fref = pool.field(CURRENT[0], 'f', 'I')
    return code([ACONST_NULL], [INVOKEVIRTUAL], u2(fref), [ILOAD_0, IRETURN])


def ldc_wrong_tag(pool):
    u = pool.utf8('just a utf8 entry')
    if u > 255:
        raise ValueError('index too big for ldc')
    return code([LDC, u], [POP, ILOAD_0, IRETURN])


def ldc_long(pool):
    l = pool.long(1 << 40)
    return code([LDC_W], u2(l), [POP2, ILOAD_0, IRETURN])


def ldc2_int(pool):
    i = pool.integer(123456)
    return code([LDC2_W], u2(i), [POP2, ILOAD_0, IRETURN])


def new_wrong_tag(pool):
    s = pool.string('not a class')
    return code([NEW], u2(s), [POP, ILOAD_0, IRETURN])


def catch_wrong_tag(pool):
    return ((0, 2, 2, pool.string('not a class')),)


def method_handle_entry(tag):
    def extra(pool):
        if tag == 15:
            ref = pool.method('java/lang/Object', 'hashCode', '()I')
            pool.raw(15, bytes([5]) + u2(ref))
        elif tag == 16:
            pool.raw(16, u2(pool.utf8('()V')))
        else:
            pool.raw(18, u2(0) + u2(pool.nat('run', '()V')))
    return extra


def indy_code(pool):
    nat = pool.nat('run', '()I')
    idx = pool.raw(18, u2(0) + u2(nat))
    return code([INVOKEDYNAMIC], u2(idx), [0, 0], [IRETURN])


def bootstrap_attr(pool):
    return [attribute(pool, 'BootstrapMethods', u2(0))]


def switch_pad(pc):
    """Padding bytes after a switch opcode at pc: operands start 4-aligned."""
    return (4 - ((pc + 1) % 4)) % 4


def tableswitch(low, high, default, targets, pad_pc=1):
    pad = switch_pad(pad_pc)
    out = bytes([TABLESWITCH]) + bytes(pad) + s4(default) + s4(low) + s4(high)
    for t in targets:
        out += s4(t)
    return out


def lookupswitch(default, pairs, pad_pc=1):
    pad = switch_pad(pad_pc)
    out = bytes([LOOKUPSWITCH]) + bytes(pad) + s4(default) + s4(len(pairs))
    for k, t in pairs:
        out += s4(k) + s4(t)
    return out


def switch_case(kind):
    # iload_0 (pc 0); switch (pc 1, padded to 4); targets are offsets from pc 1.
    if kind == 'ok':
        sw = tableswitch(0, 1, 0, [0, 0])
    elif kind == 'lowhigh':
        sw = tableswitch(5, 1, 0, [])
    elif kind == 'target':
        sw = tableswitch(0, 1, 0, [0, 0])
    if kind == 'lookup_unsorted':
        sw = lookupswitch(0, [(5, 0), (1, 0)])
    if kind == 'lookup_ok':
        sw = lookupswitch(0, [(1, 0), (5, 0)])
    if kind == 'lookup_empty':
        sw = lookupswitch(0, [])
    end = 1 + len(sw)
    # Each target jumps to the ireturn after the switch: patch offsets.
    body = bytearray(sw)
    off = end - 1          # the iload_0 after the switch, relative to the switch at pc 1
    first = 1 + switch_pad(1)   # index of the default offset within `body`
    if body[0] == TABLESWITCH:
        count = 3 + max(0, struct.unpack('>i', body[first + 8:first + 12])[0]
                         - struct.unpack('>i', body[first + 4:first + 8])[0] + 1)
        slots = [first] + [first + 12 + 4 * k for k in range(count - 3)]
    else:
        n = struct.unpack('>i', body[first + 4:first + 8])[0]
        slots = [first] + [first + 12 + 8 * k for k in range(n)]
    for s in slots:
        target = off
        if kind == 'target' and s != first:
            target = 2            # into the switch's own padding/operands
        body[s:s + 4] = s4(target)
    return code([ILOAD_0], bytes(body), [ILOAD_0, IRETURN])


# The name of the class being built, for cases that refer to their own class.
CURRENT = ['']

CASES = []


def case(name, expected, **kw):
    CASES.append((name, expected, Spec(**kw)))


# Controls: these must load and run.
case('OkBaseline', OK)
case('OkVersion45', OK, major=45, minor=3)
case('OkVersion52', OK, major=52)
case('OkJsrRet', OK, m_locals=2, m_stack=2,
     # 0 jsr +5 -> 5 ; 3 iload_0 ; 4 ireturn ; 5 astore_1 ; 6 ret 1
     m_code=code([JSR], s2(5), [ILOAD_0, IRETURN], [ASTORE, 1], [RET, 1]))
case('OkSwitch', OK, m_code=switch_case('ok'))
case('OkLookupSwitch', OK, m_code=switch_case('lookup_ok'))
case('OkLookupSwitchEmpty', OK, m_code=switch_case('lookup_empty'))
case('OkWideLocal', OK, m_locals=300, m_stack=1,
     m_code=code([ILOAD_0], [WIDE, ISTORE], u2(299), [WIDE, ILOAD], u2(299), [IRETURN]))

# The file's outer structure.
case('BadMagic', CFE, magic=0xCAFEBABF)
# HotSpot 17 loads version 53; our VM accepts 45 to 52 only.
case('BadVersion53', CFE, major=53)
case('BadVersion44', CFE, major=44)
case('BadTruncatedPool', CFE, truncate=lambda d: d[:40])
case('BadTruncatedCode', CFE, truncate=lambda d: d[:len(d) - 30])
case('BadTrailingBytes', CFE, truncate=lambda d: d + b'\x00\x00')

# The constant pool.
case('BadCpTag15', CFE, pool_extra=method_handle_entry(15))
case('BadCpTag16', CFE, pool_extra=method_handle_entry(16))
case('BadCpTag18', CFE, pool_extra=method_handle_entry(18))
case('BadCpTagUnknown', CFE, pool_extra=lambda p: p.raw(2, u2(0)))
case('BadCpThisIndex', CFE, this_index=lambda p, this: p.count + 5)
case('BadCpClassName', CFE, pool_extra=lambda p: p.raw(7, u2(p.integer(7))))
# HotSpot ignores this attribute below version 51; our VM rejects it always.
case('BadBootstrapAttr', CFE, class_attrs=bootstrap_attr)

# Members.
case('BadIfaceDefault', CFE, interface=True, iface_method=(ACC_PUBLIC, True))
case('BadIfaceStatic', CFE, interface=True, iface_method=(ACC_PUBLIC | ACC_STATIC, True))
case('BadMethodNoCode', CFE, m_no_code=True)
case('BadFieldDescriptor', CFE, field_desc='Q')
case('BadMethodDescriptor', CFE, m_desc='(I')
case('BadCodeAttrLength', CFE, m_length_delta=3)
case('BadSelfSuper', CCE + '|' + CFE, super_name='BadSelfSuper')
case('BadArgsExceedLocals', CFE + '|' + VE, m_desc='(IJI)I', m_locals=2)
# HotSpot's old verifier lets an empty, never-called method pass; ours must not.
case('BadCodeLength0', CFE + '|' + VE, m_code=b'')

# Instructions and their operands.
case('BadInvokedynamic', CFE, m_code=indy_code)
# Opcode 186 alone, its operand an ordinary Methodref (HotSpot: VerifyError).
case('BadInvokedynamicOpcode', CFE + '|' + VE,
     m_code=lambda p: code([INVOKEDYNAMIC], u2(p.method('java/lang/Object', 'hashCode', '()I')), [0, 0], [IRETURN]))
case('BadBranchMid', VE,
     # 0 goto +4 -> 4, the middle of sipush at 3
     m_code=code([GOTO], s2(4), [SIPUSH], s2(1000), [IRETURN]))
case('BadBranchOut', VE, m_code=code([GOTO], s2(100), [ILOAD_0, IRETURN]))
case('BadBranchNegative', VE, m_code=code([ILOAD_0, IRETURN], [GOTO], s2(-3)))
case('BadHandlerMid', VE + '|' + CFE,
     m_code=code([SIPUSH], s2(7), [IRETURN], [ATHROW]),
     m_handlers=((0, 3, 1, 0),))
case('BadHandlerRange', CFE + '|' + VE,
     m_code=code([ILOAD_0, IRETURN], [ATHROW]),
     m_handlers=((1, 1, 2, 0),))
case('BadCatchTypeTag', CFE + '|' + VE,
     m_code=code([ILOAD_0, IRETURN], [ATHROW]),
     m_handlers=catch_wrong_tag)
case('BadLocalMax', VE, m_locals=1, m_code=code([ILOAD, 1], [IRETURN]))
case('BadStoreMax', VE, m_locals=2, m_code=code([ILOAD_0], [ISTORE, 2], [ILOAD_0, IRETURN]))
case('BadLocalLong', VE, m_locals=2, m_code=code([LLOAD, 1], [POP2, ILOAD_0, IRETURN]))
case('BadWideIinc', VE, m_locals=1, m_code=code([WIDE, IINC], u2(1), s2(5), [ILOAD_0, IRETURN]))
case('BadStackOverflow', VE, m_stack=2, m_code=code([ICONST_1, ICONST_2, ICONST_3], [IADD, IADD, IRETURN]))
case('BadStackUnderflow', VE, m_code=code([POP], [ILOAD_0, IRETURN]))
case('BadStackMerge', VE,
     # 0 iconst_0 ; 1 goto -1 -> 0: every iteration leaves one more value
     m_code=code([ICONST_0], [GOTO], s2(-1)))
case('BadFallOff', VE, m_code=code([ILOAD_0], [ICONST_1], [IADD]))
case('BadTruncatedInsn', VE + '|' + CFE, m_code=code([ILOAD_0, IRETURN], [SIPUSH, 1]))
case('BadGetfieldTag', VE, m_code=getfield_wrong_tag)
case('BadInvokeTag', VE, m_code=invoke_wrong_tag)
case('BadLdcTag', VE, m_code=ldc_wrong_tag)
case('BadLdcLong', VE, m_code=ldc_long)
case('BadLdc2Int', VE, m_code=ldc2_int)
case('BadNewTag', VE, m_code=new_wrong_tag)
case('BadCpOperandIndex', VE, m_code=code([GETSTATIC], u2(0xFFF0), [POP, ILOAD_0, IRETURN]))
case('BadCpOperandZero', VE, m_code=code([GETSTATIC], u2(0), [POP, ILOAD_0, IRETURN]))
case('BadQuickOpcode', VE, m_code=lambda p: code([0xcb, p.string('q') & 0xFF], [POP, ILOAD_0, IRETURN]))
case('BadOpcode', VE, m_code=code([0xe6], [ILOAD_0, IRETURN]))
case('BadTableswitchBounds', VE, m_code=switch_case('lowhigh'))
case('BadTableswitchTarget', VE, m_code=switch_case('target'))
case('BadLookupswitchOrder', VE, m_code=switch_case('lookup_unsorted'))
case('BadJsrVersion51', VE, major=51, m_locals=2,
     m_code=code([JSR], s2(5), [ILOAD_0, IRETURN], [ASTORE, 1], [RET, 1]))
case('BadInvokeinterfaceCount', VE,
     m_code=lambda p: code([ACONST_NULL], [INVOKEINTERFACE], u2(p.imethod('java/lang/Runnable', 'run', '()V')), [0, 0],
                           [ILOAD_0, IRETURN]))
case('BadMultianewarrayDims', VE,
     m_code=lambda p: code([ICONST_1], [MULTIANEWARRAY], u2(p.cls('[[I')), [0], [POP, ILOAD_0, IRETURN]))
case('BadNewarrayType', VE, m_code=code([ICONST_1], [NEWARRAY, 3], [POP, ILOAD_0, IRETURN]))
case('BadRetLocal', VE, m_locals=1,
     m_code=code([JSR], s2(5), [ILOAD_0, IRETURN], [ASTORE, 0], [RET, 1]))


# Well formed but wrong in their types: each of these crashed the interpreter
# before the type-level verifier existed.
def own_field(pool):
    return pool.field(CURRENT[0], 'f', 'I')


def new_object(pool):
    c = pool.cls('java/lang/Object')
    init = pool.method('java/lang/Object', '<init>', '()V')
    return code([NEW], u2(c), [DUP, INVOKESPECIAL], u2(init))


case('BadTypeGetfieldOnInt', VE, m_code=lambda p: code([ILOAD_0, GETFIELD], u2(own_field(p)), [IRETURN]))
case('BadTypeInvokeOnObject', VE,
     m_code=lambda p: code(new_object(p), [INVOKEVIRTUAL], u2(p.method('java/lang/String', 'length', '()I')),
                           [IRETURN]))
case('BadTypeUninitialized', VE,
     m_code=lambda p: code([NEW], u2(p.cls('java/lang/Object')),
                           [INVOKEVIRTUAL], u2(p.method('java/lang/Object', 'hashCode', '()I')), [IRETURN]))
case('BadTypeAthrowString', VE, m_code=lambda p: code([LDC, p.string('s')], [ATHROW]))
case('BadTypeRetOnInt', VE, major=49, m_code=code([RET, 0]))
case('BadTypeIastoreByteArray', VE, m_stack=3,
     m_code=code([ICONST_1, NEWARRAY, 8], [ICONST_0, ICONST_0, IASTORE], [ILOAD_0, IRETURN]))


def main():
    if len(sys.argv) == 2 and sys.argv[1] == '--list':
        for name, expected, _ in CASES:
            print(name, expected)
        return
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        sys.exit(2)
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, _, spec in CASES:
        CURRENT[0] = name
        with open(os.path.join(outdir, name + '.class'), 'wb') as f:
            f.write(build(name, spec))


if __name__ == '__main__':
    main()
