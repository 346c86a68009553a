// Structural verifier: run on every method with code when its class is read.
//
// It protects the interpreter and the compiler (whose prescan checks local
// indexes only weakly) from malformed code, without type-level verification:
//   1. every instruction decoded from pc 0; unknown opcodes, bad `wide`
//      forms, truncated operands and invokedynamic are rejected;
//   2. branch, switch and handler targets lie at instruction starts inside
//      the code; local indexes are below max_locals (one more slot for long
//      and double); constant-pool operands have the tag the instruction needs;
//      return opcodes match the method's return type;
//   3. a data-flow pass over the operand-stack depth: never below 0, never
//      above max_stack, equal on every path into an instruction, and no path
//      falls off the end of the code.
// jsr and ret are accepted for class files older than version 51.
//
// Errors are VerifyError, except invokedynamic (ClassFormatError: this VM
// does not read its constants at all).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

// How an instruction is checked and how it moves the stack.
enum op_kind : u1 {
    K_PLAIN,        // fixed pops/pushes, falls through
    K_LOAD,         // local load of `width` words (index in operand or implied)
    K_STORE,        // local store
    K_IINC,
    K_BRANCH,       // conditional: target and fall-through
    K_GOTO,
    K_JSR,
    K_RET,
    K_TABLESWITCH,
    K_LOOKUPSWITCH,
    K_RETURN,
    K_ATHROW,
    K_LDC,          // ldc / ldc_w: Integer, Float, String (Class from version 49)
    K_LDC2,         // ldc2_w: Long, Double
    K_FIELD,
    K_INVOKE,
    K_CLASS,        // new, anewarray, checkcast, instanceof
    K_NEWARRAY,
    K_MULTIANEWARRAY,
    K_WIDE,
    K_INVOKEDYNAMIC,
    K_ILLEGAL,
};

typedef int8_t s1;

struct op_info {
    u1 length;      // 0: variable (switches, wide)
    s1 pop;         // -1: computed
    s1 push;        // -1: computed
    op_kind kind;
    u1 local;       // implied local index + 1 for the _n forms (0 = operand)
    u1 width;       // local width in words for loads and stores
};

typedef int8_t s1;

// One row per opcode 0..201: (opcode, length, pop, push, kind, implied local + 1, width).
#define VERIFY_OPCODES(X) \
    X(0x00, 1, 0, 0, K_PLAIN, 0, 0) /* nop */ \
    X(0x01, 1, 0, 1, K_PLAIN, 0, 0) /* aconst_null */ \
    X(0x02, 1, 0, 1, K_PLAIN, 0, 0) X(0x03, 1, 0, 1, K_PLAIN, 0, 0) X(0x04, 1, 0, 1, K_PLAIN, 0, 0) \
    X(0x05, 1, 0, 1, K_PLAIN, 0, 0) X(0x06, 1, 0, 1, K_PLAIN, 0, 0) X(0x07, 1, 0, 1, K_PLAIN, 0, 0) \
    X(0x08, 1, 0, 1, K_PLAIN, 0, 0) /* iconst_m1 .. iconst_5 */ \
    X(0x09, 1, 0, 2, K_PLAIN, 0, 0) X(0x0A, 1, 0, 2, K_PLAIN, 0, 0) /* lconst */ \
    X(0x0B, 1, 0, 1, K_PLAIN, 0, 0) X(0x0C, 1, 0, 1, K_PLAIN, 0, 0) X(0x0D, 1, 0, 1, K_PLAIN, 0, 0) \
    X(0x0E, 1, 0, 2, K_PLAIN, 0, 0) X(0x0F, 1, 0, 2, K_PLAIN, 0, 0) /* fconst, dconst */ \
    X(0x10, 2, 0, 1, K_PLAIN, 0, 0) /* bipush */ \
    X(0x11, 3, 0, 1, K_PLAIN, 0, 0) /* sipush */ \
    X(0x12, 2, 0, 1, K_LDC, 0, 0) X(0x13, 3, 0, 1, K_LDC, 0, 0) X(0x14, 3, 0, 2, K_LDC2, 0, 0) \
    X(0x15, 2, 0, 1, K_LOAD, 0, 1) X(0x16, 2, 0, 2, K_LOAD, 0, 2) X(0x17, 2, 0, 1, K_LOAD, 0, 1) \
    X(0x18, 2, 0, 2, K_LOAD, 0, 2) X(0x19, 2, 0, 1, K_LOAD, 0, 1) /* iload .. aload */ \
    X(0x1A, 1, 0, 1, K_LOAD, 1, 1) X(0x1B, 1, 0, 1, K_LOAD, 2, 1) X(0x1C, 1, 0, 1, K_LOAD, 3, 1) \
    X(0x1D, 1, 0, 1, K_LOAD, 4, 1) /* iload_n */ \
    X(0x1E, 1, 0, 2, K_LOAD, 1, 2) X(0x1F, 1, 0, 2, K_LOAD, 2, 2) X(0x20, 1, 0, 2, K_LOAD, 3, 2) \
    X(0x21, 1, 0, 2, K_LOAD, 4, 2) /* lload_n */ \
    X(0x22, 1, 0, 1, K_LOAD, 1, 1) X(0x23, 1, 0, 1, K_LOAD, 2, 1) X(0x24, 1, 0, 1, K_LOAD, 3, 1) \
    X(0x25, 1, 0, 1, K_LOAD, 4, 1) /* fload_n */ \
    X(0x26, 1, 0, 2, K_LOAD, 1, 2) X(0x27, 1, 0, 2, K_LOAD, 2, 2) X(0x28, 1, 0, 2, K_LOAD, 3, 2) \
    X(0x29, 1, 0, 2, K_LOAD, 4, 2) /* dload_n */ \
    X(0x2A, 1, 0, 1, K_LOAD, 1, 1) X(0x2B, 1, 0, 1, K_LOAD, 2, 1) X(0x2C, 1, 0, 1, K_LOAD, 3, 1) \
    X(0x2D, 1, 0, 1, K_LOAD, 4, 1) /* aload_n */ \
    X(0x2E, 1, 2, 1, K_PLAIN, 0, 0) X(0x2F, 1, 2, 2, K_PLAIN, 0, 0) X(0x30, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x31, 1, 2, 2, K_PLAIN, 0, 0) X(0x32, 1, 2, 1, K_PLAIN, 0, 0) X(0x33, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x34, 1, 2, 1, K_PLAIN, 0, 0) X(0x35, 1, 2, 1, K_PLAIN, 0, 0) /* xaload */ \
    X(0x36, 2, 1, 0, K_STORE, 0, 1) X(0x37, 2, 2, 0, K_STORE, 0, 2) X(0x38, 2, 1, 0, K_STORE, 0, 1) \
    X(0x39, 2, 2, 0, K_STORE, 0, 2) X(0x3A, 2, 1, 0, K_STORE, 0, 1) /* istore .. astore */ \
    X(0x3B, 1, 1, 0, K_STORE, 1, 1) X(0x3C, 1, 1, 0, K_STORE, 2, 1) X(0x3D, 1, 1, 0, K_STORE, 3, 1) \
    X(0x3E, 1, 1, 0, K_STORE, 4, 1) /* istore_n */ \
    X(0x3F, 1, 2, 0, K_STORE, 1, 2) X(0x40, 1, 2, 0, K_STORE, 2, 2) X(0x41, 1, 2, 0, K_STORE, 3, 2) \
    X(0x42, 1, 2, 0, K_STORE, 4, 2) /* lstore_n */ \
    X(0x43, 1, 1, 0, K_STORE, 1, 1) X(0x44, 1, 1, 0, K_STORE, 2, 1) X(0x45, 1, 1, 0, K_STORE, 3, 1) \
    X(0x46, 1, 1, 0, K_STORE, 4, 1) /* fstore_n */ \
    X(0x47, 1, 2, 0, K_STORE, 1, 2) X(0x48, 1, 2, 0, K_STORE, 2, 2) X(0x49, 1, 2, 0, K_STORE, 3, 2) \
    X(0x4A, 1, 2, 0, K_STORE, 4, 2) /* dstore_n */ \
    X(0x4B, 1, 1, 0, K_STORE, 1, 1) X(0x4C, 1, 1, 0, K_STORE, 2, 1) X(0x4D, 1, 1, 0, K_STORE, 3, 1) \
    X(0x4E, 1, 1, 0, K_STORE, 4, 1) /* astore_n */ \
    X(0x4F, 1, 3, 0, K_PLAIN, 0, 0) X(0x50, 1, 4, 0, K_PLAIN, 0, 0) X(0x51, 1, 3, 0, K_PLAIN, 0, 0) \
    X(0x52, 1, 4, 0, K_PLAIN, 0, 0) X(0x53, 1, 3, 0, K_PLAIN, 0, 0) X(0x54, 1, 3, 0, K_PLAIN, 0, 0) \
    X(0x55, 1, 3, 0, K_PLAIN, 0, 0) X(0x56, 1, 3, 0, K_PLAIN, 0, 0) /* xastore */ \
    X(0x57, 1, 1, 0, K_PLAIN, 0, 0) X(0x58, 1, 2, 0, K_PLAIN, 0, 0) /* pop, pop2 */ \
    X(0x59, 1, 1, 2, K_PLAIN, 0, 0) X(0x5A, 1, 2, 3, K_PLAIN, 0, 0) X(0x5B, 1, 3, 4, K_PLAIN, 0, 0) \
    X(0x5C, 1, 2, 4, K_PLAIN, 0, 0) X(0x5D, 1, 3, 5, K_PLAIN, 0, 0) X(0x5E, 1, 4, 6, K_PLAIN, 0, 0) \
    X(0x5F, 1, 2, 2, K_PLAIN, 0, 0) /* dup .. dup2_x2, swap */ \
    X(0x60, 1, 2, 1, K_PLAIN, 0, 0) X(0x61, 1, 4, 2, K_PLAIN, 0, 0) X(0x62, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x63, 1, 4, 2, K_PLAIN, 0, 0) /* add */ \
    X(0x64, 1, 2, 1, K_PLAIN, 0, 0) X(0x65, 1, 4, 2, K_PLAIN, 0, 0) X(0x66, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x67, 1, 4, 2, K_PLAIN, 0, 0) /* sub */ \
    X(0x68, 1, 2, 1, K_PLAIN, 0, 0) X(0x69, 1, 4, 2, K_PLAIN, 0, 0) X(0x6A, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x6B, 1, 4, 2, K_PLAIN, 0, 0) /* mul */ \
    X(0x6C, 1, 2, 1, K_PLAIN, 0, 0) X(0x6D, 1, 4, 2, K_PLAIN, 0, 0) X(0x6E, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x6F, 1, 4, 2, K_PLAIN, 0, 0) /* div */ \
    X(0x70, 1, 2, 1, K_PLAIN, 0, 0) X(0x71, 1, 4, 2, K_PLAIN, 0, 0) X(0x72, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x73, 1, 4, 2, K_PLAIN, 0, 0) /* rem */ \
    X(0x74, 1, 1, 1, K_PLAIN, 0, 0) X(0x75, 1, 2, 2, K_PLAIN, 0, 0) X(0x76, 1, 1, 1, K_PLAIN, 0, 0) \
    X(0x77, 1, 2, 2, K_PLAIN, 0, 0) /* neg */ \
    X(0x78, 1, 2, 1, K_PLAIN, 0, 0) X(0x79, 1, 3, 2, K_PLAIN, 0, 0) X(0x7A, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x7B, 1, 3, 2, K_PLAIN, 0, 0) X(0x7C, 1, 2, 1, K_PLAIN, 0, 0) X(0x7D, 1, 3, 2, K_PLAIN, 0, 0) \
    /* shifts */ \
    X(0x7E, 1, 2, 1, K_PLAIN, 0, 0) X(0x7F, 1, 4, 2, K_PLAIN, 0, 0) X(0x80, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x81, 1, 4, 2, K_PLAIN, 0, 0) X(0x82, 1, 2, 1, K_PLAIN, 0, 0) X(0x83, 1, 4, 2, K_PLAIN, 0, 0) \
    /* and, or, xor */ \
    X(0x84, 3, 0, 0, K_IINC, 0, 1) /* iinc */ \
    X(0x85, 1, 1, 2, K_PLAIN, 0, 0) X(0x86, 1, 1, 1, K_PLAIN, 0, 0) X(0x87, 1, 1, 2, K_PLAIN, 0, 0) \
    X(0x88, 1, 2, 1, K_PLAIN, 0, 0) X(0x89, 1, 2, 1, K_PLAIN, 0, 0) X(0x8A, 1, 2, 2, K_PLAIN, 0, 0) \
    X(0x8B, 1, 1, 1, K_PLAIN, 0, 0) X(0x8C, 1, 1, 2, K_PLAIN, 0, 0) X(0x8D, 1, 1, 2, K_PLAIN, 0, 0) \
    X(0x8E, 1, 2, 1, K_PLAIN, 0, 0) X(0x8F, 1, 2, 2, K_PLAIN, 0, 0) X(0x90, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x91, 1, 1, 1, K_PLAIN, 0, 0) X(0x92, 1, 1, 1, K_PLAIN, 0, 0) X(0x93, 1, 1, 1, K_PLAIN, 0, 0) \
    /* conversions */ \
    X(0x94, 1, 4, 1, K_PLAIN, 0, 0) X(0x95, 1, 2, 1, K_PLAIN, 0, 0) X(0x96, 1, 2, 1, K_PLAIN, 0, 0) \
    X(0x97, 1, 4, 1, K_PLAIN, 0, 0) X(0x98, 1, 4, 1, K_PLAIN, 0, 0) /* lcmp .. dcmpg */ \
    X(0x99, 3, 1, 0, K_BRANCH, 0, 0) X(0x9A, 3, 1, 0, K_BRANCH, 0, 0) X(0x9B, 3, 1, 0, K_BRANCH, 0, 0) \
    X(0x9C, 3, 1, 0, K_BRANCH, 0, 0) X(0x9D, 3, 1, 0, K_BRANCH, 0, 0) X(0x9E, 3, 1, 0, K_BRANCH, 0, 0) \
    /* if<cond> */ \
    X(0x9F, 3, 2, 0, K_BRANCH, 0, 0) X(0xA0, 3, 2, 0, K_BRANCH, 0, 0) X(0xA1, 3, 2, 0, K_BRANCH, 0, 0) \
    X(0xA2, 3, 2, 0, K_BRANCH, 0, 0) X(0xA3, 3, 2, 0, K_BRANCH, 0, 0) X(0xA4, 3, 2, 0, K_BRANCH, 0, 0) \
    X(0xA5, 3, 2, 0, K_BRANCH, 0, 0) X(0xA6, 3, 2, 0, K_BRANCH, 0, 0) /* if_icmp, if_acmp */ \
    X(0xA7, 3, 0, 0, K_GOTO, 0, 0) X(0xA8, 3, 0, 1, K_JSR, 0, 0) X(0xA9, 2, 0, 0, K_RET, 0, 1) \
    X(0xAA, 0, 1, 0, K_TABLESWITCH, 0, 0) X(0xAB, 0, 1, 0, K_LOOKUPSWITCH, 0, 0) \
    X(0xAC, 1, 1, 0, K_RETURN, 0, 0) X(0xAD, 1, 2, 0, K_RETURN, 0, 0) X(0xAE, 1, 1, 0, K_RETURN, 0, 0) \
    X(0xAF, 1, 2, 0, K_RETURN, 0, 0) X(0xB0, 1, 1, 0, K_RETURN, 0, 0) X(0xB1, 1, 0, 0, K_RETURN, 0, 0) \
    X(0xB2, 3, -1, -1, K_FIELD, 0, 0) X(0xB3, 3, -1, -1, K_FIELD, 0, 0) X(0xB4, 3, -1, -1, K_FIELD, 0, 0) \
    X(0xB5, 3, -1, -1, K_FIELD, 0, 0) /* get/put static/field */ \
    X(0xB6, 3, -1, -1, K_INVOKE, 0, 0) X(0xB7, 3, -1, -1, K_INVOKE, 0, 0) X(0xB8, 3, -1, -1, K_INVOKE, 0, 0) \
    X(0xB9, 5, -1, -1, K_INVOKE, 0, 0) X(0xBA, 5, 0, 0, K_INVOKEDYNAMIC, 0, 0) \
    X(0xBB, 3, 0, 1, K_CLASS, 0, 0) /* new */ \
    X(0xBC, 2, 1, 1, K_NEWARRAY, 0, 0) X(0xBD, 3, 1, 1, K_CLASS, 0, 0) /* newarray, anewarray */ \
    X(0xBE, 1, 1, 1, K_PLAIN, 0, 0) /* arraylength */ \
    X(0xBF, 1, 1, 0, K_ATHROW, 0, 0) \
    X(0xC0, 3, 1, 1, K_CLASS, 0, 0) X(0xC1, 3, 1, 1, K_CLASS, 0, 0) /* checkcast, instanceof */ \
    X(0xC2, 1, 1, 0, K_PLAIN, 0, 0) X(0xC3, 1, 1, 0, K_PLAIN, 0, 0) /* monitorenter, monitorexit */ \
    X(0xC4, 0, 0, 0, K_WIDE, 0, 0) \
    X(0xC5, 4, -1, 1, K_MULTIANEWARRAY, 0, 0) \
    X(0xC6, 3, 1, 0, K_BRANCH, 0, 0) X(0xC7, 3, 1, 0, K_BRANCH, 0, 0) /* ifnull, ifnonnull */ \
    X(0xC8, 5, 0, 0, K_GOTO, 0, 0) X(0xC9, 5, 0, 1, K_JSR, 0, 0) /* goto_w, jsr_w */

constexpr int NUM_VERIFIED_OPCODES = 0xCA;

constexpr op_info make_op(int length, int pop, int push, op_kind kind, int local, int width)
{
    return op_info{static_cast<u1>(length), static_cast<s1>(pop), static_cast<s1>(push), kind,
                   static_cast<u1>(local), static_cast<u1>(width)};
}

constexpr auto build_op_table()
{
    struct table { op_info op[256]; bool complete; } t{};
    for (auto& o : t.op)
        o = make_op(1, 0, 0, K_ILLEGAL, 0, 0);
    int expected = 0;
    bool in_order = true;
#define VERIFY_ROW(code, len, pop, push, kind, local, width) \
    in_order = in_order && (code) == expected++;             \
    t.op[code] = make_op(len, pop, push, kind, local, width);
    VERIFY_OPCODES(VERIFY_ROW)
#undef VERIFY_ROW
    t.complete = in_order && expected == NUM_VERIFIED_OPCODES;
    return t;
}

constexpr auto op_table = build_op_table();
static_assert(op_table.complete, "opcode table rows out of order or missing");

constexpr u1 OP_ILOAD = 0x15, OP_ALOAD = 0x19, OP_ISTORE = 0x36, OP_ASTORE = 0x3A;
constexpr u1 OP_IINC = 0x84, OP_RET = 0xA9, OP_LRETURN = 0xAD, OP_FRETURN = 0xAE;
constexpr u1 OP_DRETURN = 0xAF, OP_ARETURN = 0xB0, OP_IRETURN = 0xAC, OP_RETURN = 0xB1;
constexpr u1 OP_GETSTATIC = 0xB2, OP_PUTSTATIC = 0xB3, OP_GETFIELD = 0xB4;
constexpr u1 OP_INVOKEVIRTUAL = 0xB6, OP_INVOKESPECIAL = 0xB7, OP_INVOKESTATIC = 0xB8;
constexpr u1 OP_INVOKEINTERFACE = 0xB9, OP_NEW = 0xBB, OP_ANEWARRAY = 0xBD;
constexpr u1 OP_LDC = 0x12, OP_LLOAD = 0x16, OP_DLOAD = 0x18, OP_LSTORE = 0x37, OP_DSTORE = 0x39;

// pc flags
constexpr u1 PC_START = 0x1;     // an instruction starts here
constexpr u1 PC_SEEN = 0x2;      // depth known

struct verifier {
    classblock* cb;
    methodblock* mb;
    int major;
    vm_load_error* err;
    const u1* code;
    u4 len;
    u1* flags;          // per pc
    s4* depth;          // per pc, valid with PC_SEEN
    u4* work;           // worklist of pcs
    u4 nwork;
};

bool verify_fail(verifier& v, u4 pc, const char* what)
{
    vm_load_error_set(v.err, "java/lang/VerifyError", "(class: %s, method: %s signature: %s) %s at pc %u",
                      v.cb->name, v.mb->name, v.mb->signature, what, pc);
    return false;
}

inline s4 read_s4(const u1* p)
{
    return static_cast<s4>(static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16 | static_cast<u4>(p[2]) << 8 | p[3]);
}
inline u2 read_u2(const u1* p) { return static_cast<u2>(p[0] << 8 | p[1]); }
inline s4 read_s2(const u1* p) { return static_cast<int16_t>(read_u2(p)); }

u1 cp_tag(verifier& v, u4 index)
{
    return index > 0 && index < v.cb->constantpool_count ? vm_cp_tags(v.cb->constantpool)[index] & CONSTANT_TAG_MASK : 0;
}

const char* cp_utf8(verifier& v, u4 index)
{
    return reinterpret_cast<const char*>(v.cb->constantpool[index]);
}

// Name and descriptor of a Fieldref / Methodref / InterfaceMethodref entry
// (the reader has checked their shape).
void member_of(verifier& v, u4 index, const char** name, const char** sig)
{
    u4 nat = v.cb->constantpool[index] & 0xFFFF;
    u4 w = v.cb->constantpool[nat];
    *name = cp_utf8(v, w >> 16);
    *sig = cp_utf8(v, w & 0xFFFF);
}

const char* class_entry_name(verifier& v, u4 index)
{
    return cp_utf8(v, v.cb->constantpool[index]);
}

// Length of the instruction at pc, or 0 when it runs past the code.
u4 instruction_length(verifier& v, u4 pc)
{
    u1 op = v.code[pc];
    const op_info& info = op_table.op[op];
    if (info.kind == K_TABLESWITCH || info.kind == K_LOOKUPSWITCH) {
        u4 base = (pc + 4) & ~3u;                  // after the opcode and its padding
        // tableswitch: default, low, high; lookupswitch: default, npairs (a
        // lookupswitch of no pairs is only those two words).
        if (base + (info.kind == K_TABLESWITCH ? 12 : 8) > v.len)
            return 0;
        if (info.kind == K_TABLESWITCH) {
            s4 low = read_s4(v.code + base + 4);
            s4 high = read_s4(v.code + base + 8);
            if (low > high)
                return 0;
            uint64_t n = static_cast<uint64_t>(static_cast<int64_t>(high) - low + 1);
            uint64_t end = base + 12 + 4 * n;
            return end <= v.len ? static_cast<u4>(end - pc) : 0;
        }
        s4 npairs = read_s4(v.code + base + 4);
        if (npairs < 0)
            return 0;
        uint64_t end = base + 8 + 8 * static_cast<uint64_t>(npairs);
        return end <= v.len ? static_cast<u4>(end - pc) : 0;
    }
    if (info.kind == K_WIDE) {
        if (pc + 1 >= v.len)
            return 0;
        u4 n = v.code[pc + 1] == OP_IINC ? 6 : 4;
        return pc + n <= v.len ? n : 0;
    }
    return pc + info.length <= v.len ? info.length : 0;
}

bool check_local(verifier& v, u4 pc, u4 index, u4 width)
{
    if (index + width > v.mb->nlocals)
        return verify_fail(v, pc, "Illegal local variable number");
    return true;
}

bool check_target(verifier& v, u4 pc, int64_t target)
{
    if (target < 0 || target >= v.len || !(v.flags[target] & PC_START))
        return verify_fail(v, pc, "Illegal target of jump or branch");
    return true;
}

bool return_matches(u1 op, char kind)
{
    switch (kind) {
    case 'V': return op == OP_RETURN;
    case 'J': return op == OP_LRETURN;
    case 'F': return op == OP_FRETURN;
    case 'D': return op == OP_DRETURN;
    case 'L': return op == OP_ARETURN;
    default: return op == OP_IRETURN;             // Z B C S I
    }
}

// Pass 2: operands of the instruction at pc (targets, locals, constants).
bool check_operands(verifier& v, u4 pc)
{
    const u1* ip = v.code + pc;
    u1 op = *ip;
    const op_info& info = op_table.op[op];
    switch (info.kind) {
    case K_ILLEGAL:
        return verify_fail(v, pc, "Bad instruction");
    case K_INVOKEDYNAMIC:
        vm_load_error_set(v.err, "java/lang/ClassFormatError",
                          "(class: %s, method: %s) invokedynamic is not supported", v.cb->name, v.mb->name);
        return false;
    case K_LOAD:
    case K_STORE:
        return check_local(v, pc, info.local ? info.local - 1u : ip[1], info.width);
    case K_IINC:
        return check_local(v, pc, ip[1], 1);
    case K_RET:
        if (v.major >= 51)
            return verify_fail(v, pc, "jsr/ret are not allowed in class files of version 51 and later");
        return check_local(v, pc, ip[1], 1);
    case K_WIDE: {
        u1 sub = ip[1];
        u4 index = read_u2(ip + 2);
        if (sub == OP_IINC)
            return check_local(v, pc, index, 1);
        if (sub == OP_RET) {
            if (v.major >= 51)
                return verify_fail(v, pc, "jsr/ret are not allowed in class files of version 51 and later");
            return check_local(v, pc, index, 1);
        }
        if ((sub >= OP_ILOAD && sub <= OP_ALOAD) || (sub >= OP_ISTORE && sub <= OP_ASTORE)) {
            u4 w = sub == OP_LLOAD || sub == OP_DLOAD || sub == OP_LSTORE || sub == OP_DSTORE ? 2 : 1;
            return check_local(v, pc, index, w);
        }
        return verify_fail(v, pc, "Bad wide instruction");
    }
    case K_BRANCH:
    case K_GOTO:
    case K_JSR: {
        if (info.kind == K_JSR && v.major >= 51)
            return verify_fail(v, pc, "jsr/ret are not allowed in class files of version 51 and later");
        s4 off = info.length == 5 ? read_s4(ip + 1) : read_s2(ip + 1);
        return check_target(v, pc, static_cast<int64_t>(pc) + off);
    }
    case K_TABLESWITCH: {
        u4 base = (pc + 4) & ~3u;
        if (!check_target(v, pc, static_cast<int64_t>(pc) + read_s4(v.code + base)))
            return false;
        s4 low = read_s4(v.code + base + 4);
        s4 high = read_s4(v.code + base + 8);
        for (int64_t k = 0; k <= static_cast<int64_t>(high) - low; k++) {
            if (!check_target(v, pc, static_cast<int64_t>(pc) + read_s4(v.code + base + 12 + 4 * k)))
                return false;
        }
        return true;
    }
    case K_LOOKUPSWITCH: {
        u4 base = (pc + 4) & ~3u;
        if (!check_target(v, pc, static_cast<int64_t>(pc) + read_s4(v.code + base)))
            return false;
        s4 npairs = read_s4(v.code + base + 4);
        for (s4 k = 0; k < npairs; k++) {
            const u1* pair = v.code + base + 8 + 8 * k;
            if (k > 0 && read_s4(pair) <= read_s4(pair - 8))
                return verify_fail(v, pc, "Unsorted lookup switch");
            if (!check_target(v, pc, static_cast<int64_t>(pc) + read_s4(pair + 4)))
                return false;
        }
        return true;
    }
    case K_RETURN:
        if (!return_matches(op, static_cast<char>(v.mb->return_kind)))
            return verify_fail(v, pc, "Wrong return type in function");
        return true;
    case K_LDC: {
        u4 index = op == OP_LDC ? ip[1] : read_u2(ip + 1);
        u1 tag = cp_tag(v, index);
        if (tag == CONSTANT_Integer || tag == CONSTANT_Float || tag == CONSTANT_String ||
            (tag == CONSTANT_Class && v.major >= 49))
            return true;
        return verify_fail(v, pc, "Illegal type in constant pool for ldc");
    }
    case K_LDC2: {
        u1 tag = cp_tag(v, read_u2(ip + 1));
        if (tag == CONSTANT_Long || tag == CONSTANT_Double)
            return true;
        return verify_fail(v, pc, "Illegal type in constant pool for ldc2_w");
    }
    case K_FIELD:
        if (cp_tag(v, read_u2(ip + 1)) != CONSTANT_Fieldref)
            return verify_fail(v, pc, "Illegal type in constant pool: Fieldref expected");
        return true;
    case K_INVOKE: {
        u4 index = read_u2(ip + 1);
        u1 tag = cp_tag(v, index);
        bool ok;
        if (op == OP_INVOKEINTERFACE)
            ok = tag == CONSTANT_InterfaceMethodref;
        else if (op == OP_INVOKEVIRTUAL)
            ok = tag == CONSTANT_Methodref;
        else
            ok = tag == CONSTANT_Methodref || (tag == CONSTANT_InterfaceMethodref && v.major >= 52);
        if (!ok)
            return verify_fail(v, pc, "Illegal type in constant pool: method reference expected");
        const char* name;
        const char* sig;
        member_of(v, index, &name, &sig);
        if (name[0] == '<' && !(op == OP_INVOKESPECIAL && std::strcmp(name, "<init>") == 0))
            return verify_fail(v, pc, "Illegal call to an initialization method");
        if (op == OP_INVOKEINTERFACE) {
            if (ip[3] != vm_sig_arg_words(sig) + 1 || ip[4] != 0)
                return verify_fail(v, pc, "Inconsistent args count operand in invokeinterface");
        }
        return true;
    }
    case K_CLASS: {
        u4 index = read_u2(ip + 1);
        if (cp_tag(v, index) != CONSTANT_Class)
            return verify_fail(v, pc, "Illegal type in constant pool: Class expected");
        const char* name = class_entry_name(v, index);
        if (op == OP_NEW && name[0] == '[')
            return verify_fail(v, pc, "Illegal use of new with an array class");
        if (op == OP_ANEWARRAY) {
            int dims = 0;
            while (name[dims] == '[')
                dims++;
            if (dims >= 255)
                return verify_fail(v, pc, "Array with too many dimensions");
        }
        return true;
    }
    case K_NEWARRAY:
        if (ip[1] < T_BOOLEAN || ip[1] > T_LONG)
            return verify_fail(v, pc, "Illegal newarray type");
        return true;
    case K_MULTIANEWARRAY: {
        u4 index = read_u2(ip + 1);
        if (cp_tag(v, index) != CONSTANT_Class)
            return verify_fail(v, pc, "Illegal type in constant pool: Class expected");
        const char* name = class_entry_name(v, index);
        int dims = 0;
        while (name[dims] == '[')
            dims++;
        if (ip[3] < 1 || ip[3] > dims)
            return verify_fail(v, pc, "Illegal dimension in multianewarray");
        return true;
    }
    default:
        return true;
    }
}

// Stack words popped and pushed by the instruction at pc.
void stack_effect(verifier& v, u4 pc, int* pop, int* push)
{
    const u1* ip = v.code + pc;
    u1 op = *ip;
    const op_info& info = op_table.op[op];
    *pop = info.pop;
    *push = info.push;
    if (info.kind == K_FIELD) {
        const char* name;
        const char* sig;
        member_of(v, read_u2(ip + 1), &name, &sig);
        int w = vm_sig_words(sig);
        switch (op) {
        case OP_GETSTATIC: *pop = 0; *push = w; break;
        case OP_PUTSTATIC: *pop = w; *push = 0; break;
        case OP_GETFIELD: *pop = 1; *push = w; break;
        default: *pop = 1 + w; *push = 0; break;      // putfield
        }
    } else if (info.kind == K_INVOKE) {
        const char* name;
        const char* sig;
        member_of(v, read_u2(ip + 1), &name, &sig);
        *pop = vm_sig_arg_words(sig) + (op == OP_INVOKESTATIC ? 0 : 1);
        char r = vm_sig_return_kind(sig);
        *push = r == 'V' ? 0 : (r == 'J' || r == 'D') ? 2 : 1;
    } else if (info.kind == K_MULTIANEWARRAY) {
        *pop = ip[3];
    } else if (info.kind == K_WIDE) {
        u1 sub = ip[1];
        if (sub == OP_IINC || sub == OP_RET) {
            *pop = *push = 0;
        } else {
            *pop = op_table.op[sub].pop;
            *push = op_table.op[sub].push;
        }
    }
}

bool flow_to(verifier& v, u4 from, u4 to, s4 d)
{
    if (v.flags[to] & PC_SEEN) {
        if (v.depth[to] != d)
            return verify_fail(v, from, "Inconsistent stack height");
        return true;
    }
    v.flags[to] |= PC_SEEN;
    v.depth[to] = d;
    v.work[v.nwork++] = to;
    return true;
}

bool flow_branch(verifier& v, u4 pc, s4 off, s4 d)
{
    return flow_to(v, pc, static_cast<u4>(static_cast<s4>(pc) + off), d);
}

// Pass 3: operand-stack depth over every reachable path.
bool check_stack(verifier& v)
{
    s4 max = v.mb->maxstack;
    if (!flow_to(v, 0, 0, 0))
        return false;
    auto* exc = reinterpret_cast<exception_entry*>(v.mb->vm_exception_table);
    for (u4 i = 0; i < v.mb->vm_exception_table_length; i++) {
        if (max < 1)
            return verify_fail(v, exc[i].handler_pc, "Stack size too large");
        if (!flow_to(v, exc[i].handler_pc, exc[i].handler_pc, 1))
            return false;
    }
    while (v.nwork) {
        u4 pc = v.work[--v.nwork];
        s4 d = v.depth[pc];
        const u1* ip = v.code + pc;
        const op_info& info = op_table.op[*ip];
        int pop, push;
        stack_effect(v, pc, &pop, &push);
        if (d < pop)
            return verify_fail(v, pc, "Unable to pop operand off an empty stack");
        s4 after = d - pop + push;
        if (after > max)
            return verify_fail(v, pc, "Stack size too large");
        u4 next = pc + instruction_length(v, pc);
        bool falls = true;
        switch (info.kind) {
        case K_BRANCH:
            if (!flow_branch(v, pc, read_s2(ip + 1), after))
                return false;
            break;
        case K_GOTO:
            if (!flow_branch(v, pc, info.length == 5 ? read_s4(ip + 1) : read_s2(ip + 1), after))
                return false;
            falls = false;
            break;
        case K_JSR:
            // The subroutine starts with the return address pushed; its `ret`
            // comes back to the next instruction with the depth of the jsr.
            if (!flow_branch(v, pc, info.length == 5 ? read_s4(ip + 1) : read_s2(ip + 1), after))
                return false;
            after = d;
            break;
        case K_TABLESWITCH: {
            u4 base = (pc + 4) & ~3u;
            if (!flow_branch(v, pc, read_s4(v.code + base), after))
                return false;
            s4 low = read_s4(v.code + base + 4);
            s4 high = read_s4(v.code + base + 8);
            for (int64_t k = 0; k <= static_cast<int64_t>(high) - low; k++) {
                if (!flow_branch(v, pc, read_s4(v.code + base + 12 + 4 * k), after))
                    return false;
            }
            falls = false;
            break;
        }
        case K_LOOKUPSWITCH: {
            u4 base = (pc + 4) & ~3u;
            if (!flow_branch(v, pc, read_s4(v.code + base), after))
                return false;
            s4 npairs = read_s4(v.code + base + 4);
            for (s4 k = 0; k < npairs; k++) {
                if (!flow_branch(v, pc, read_s4(v.code + base + 12 + 8 * k), after))
                    return false;
            }
            falls = false;
            break;
        }
        case K_RETURN:
        case K_ATHROW:
        case K_RET:
            falls = false;
            break;
        case K_WIDE:
            falls = ip[1] != OP_RET;
            break;
        default:
            break;
        }
        if (falls) {
            if (next >= v.len)
                return verify_fail(v, pc, "Falling off the end of the code");
            if (!flow_to(v, pc, next, after))
                return false;
        }
    }
    return true;
}

bool check_exception_table(verifier& v)
{
    auto* exc = reinterpret_cast<exception_entry*>(v.mb->vm_exception_table);
    for (u4 i = 0; i < v.mb->vm_exception_table_length; i++) {
        const exception_entry& e = exc[i];
        bool end_ok = e.end_pc == v.len || (e.end_pc < v.len && (v.flags[e.end_pc] & PC_START));
        if (e.start_pc >= e.end_pc || !(v.flags[e.start_pc] & PC_START) || !end_ok)
            return verify_fail(v, e.start_pc, "Illegal exception table range");
        if (e.handler_pc >= v.len || !(v.flags[e.handler_pc] & PC_START))
            return verify_fail(v, e.handler_pc, "Illegal exception table handler");
    }
    return true;
}

}  // namespace

u4 vm_bytecode_length(const u1* code, u4 length, u4 pc)
{
    verifier v = {};
    v.code = code;
    v.len = length;
    return pc < length ? instruction_length(v, pc) : 0;
}

bool vm_verify_method(classblock* cb, methodblock* mb, int major, vm_load_error* err)
{
    verifier v = {};
    v.cb = cb;
    v.mb = mb;
    v.major = major;
    v.err = err;
    v.code = mb->code;
    v.len = mb->code_length;
    if (mb->args_size > mb->nlocals)
        return verify_fail(v, 0, "Arguments can't fit into locals");

    v.flags = static_cast<u1*>(std::calloc(v.len, 1));
    v.depth = static_cast<s4*>(std::malloc(v.len * sizeof(s4)));
    v.work = static_cast<u4*>(std::malloc(v.len * sizeof(u4)));
    if (!v.flags || !v.depth || !v.work) {
        std::free(v.flags);
        std::free(v.depth);
        std::free(v.work);
        vm_load_error_set(err, "java/lang/OutOfMemoryError", "verifying %s.%s", cb->name, mb->name);
        return false;
    }
    bool ok = true;
    // Pass 1: instruction boundaries.
    for (u4 pc = 0; pc < v.len;) {
        u4 n = instruction_length(v, pc);
        if (n == 0) {
            ok = verify_fail(v, pc, "Truncated or malformed instruction");
            break;
        }
        v.flags[pc] |= PC_START;
        pc += n;
    }
    // Pass 2: operands.
    for (u4 pc = 0; ok && pc < v.len; pc += instruction_length(v, pc))
        ok = check_operands(v, pc);
    if (ok)
        ok = check_exception_table(v);
    if (ok)
        ok = check_stack(v);
    std::free(v.flags);
    std::free(v.depth);
    std::free(v.work);
    return ok;
}
