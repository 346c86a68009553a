// The quadruple: the one instruction record of the compiler's intermediate
// form, its operand descriptors, the operand-list entry, the opcode set and
// the two attribute tables that start-up fills.
//
// A quadruple is born in the front-end form (`cattr`: bytecode locals, stack
// depths, a signed constant), is rewritten into the quadruple form by
// `generate_quadruple` (every value an operand descriptor), and ends in one
// code generator per opcode.  Records live in the compilation's first work
// pool and are copied as 21 words; nothing frees them one by one.
#ifndef ORVA_FRONTEND_QUAD_H
#define ORVA_FRONTEND_QUAD_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

// ---------------------------------------------------------------------------
// Opcodes: number, name and attribute word (`opc_info_quadruple`) in one list.
// 181..183 are never made; code generation accepts 0..180.  Opcode 183 is
// never made either, but it still gets a word (the conditional-move bit, as
// 179..182) so that a pass may index the table with any opcode.
// ---------------------------------------------------------------------------
#define ORVA_QUAD_OPCODES(X) \
    X(  0, OTHER,             0x00020) \
    X(  1, ILOAD,             0x00207) \
    X(  2, ICONST,            0x00006) \
    X(  3, ISTORE,            0x00207) \
    X(  4, IOP2,              0x08204) \
    X(  5, IOP1,              0x08200) \
    X(  6, IALOAD,            0x20180) \
    X(  7, IASTORE,           0x40088) \
    X(  8, IFZ,               0x08220) \
    X(  9, IFCMP,             0x08220) \
    X( 10, LLOAD,             0x00207) \
    X( 11, LCONST,            0x00106) \
    X( 12, LSTORE,            0x00207) \
    X( 13, LOP2,              0x08204) \
    X( 14, LSHIFT,            0x08000) \
    X( 15, LOP1,              0x08200) \
    X( 16, LALOAD,            0x20180) \
    X( 17, LASTORE,           0x40088) \
    X( 18, LCMP,              0x08204) \
    X( 19, FLOAD,             0x00207) \
    X( 20, FCONST,            0x00106) \
    X( 21, FSTORE,            0x00207) \
    X( 22, FOP2,              0x08204) \
    X( 23, FOP1,              0x08200) \
    X( 24, FALOAD,            0x20180) \
    X( 25, FASTORE,           0x40088) \
    X( 26, FCMP,              0x00204) \
    X( 27, DLOAD,             0x00207) \
    X( 28, DCONST,            0x00106) \
    X( 29, DSTORE,            0x00207) \
    X( 30, DOP2,              0x08204) \
    X( 31, DOP1,              0x08200) \
    X( 32, DALOAD,            0x20180) \
    X( 33, DASTORE,           0x40088) \
    X( 34, DCMP,              0x00204) \
    X( 35, ALOAD,             0x00201) \
    X( 36, ACONST,            0x00006) \
    X( 37, ASTORE,            0x00201) \
    X( 38, IFNULL,            0x08220) \
    X( 39, IFACMP,            0x08220) \
    X( 40, AALOAD,            0x20180) \
    X( 41, AASTORE,           0x40088) \
    X( 42, IINC,              0x00000) \
    X( 43, IRETURN,           0x00230) \
    X( 44, LRETURN,           0x00230) \
    X( 45, FRETURN,           0x00230) \
    X( 46, DRETURN,           0x00230) \
    X( 47, ARETURN,           0x00230) \
    X( 48, SWITCH,            0x08220) \
    X( 49, NEW,               0x00000) \
    X( 50, CHECKCAST,         0x00000) \
    X( 51, INSTANCEOF,        0x00000) \
    X( 52, MONITOR,           0x00080) \
    X( 53, ICALL,             0x00488) \
    X( 54, LCALL,             0x00488) \
    X( 55, FCALL,             0x00488) \
    X( 56, DCALL,             0x00488) \
    X( 57, ACALL,             0x00488) \
    X( 58, VCALL,             0x00488) \
    X( 59, CALL_MARK,         0x00400) \
    X( 60, IGETFIELD,         0x00980) \
    X( 61, LGETFIELD,         0x00980) \
    X( 62, FGETFIELD,         0x00980) \
    X( 63, DGETFIELD,         0x00980) \
    X( 64, AGETFIELD,         0x00980) \
    X( 65, IPUTFIELD,         0x01088) \
    X( 66, LPUTFIELD,         0x01088) \
    X( 67, FPUTFIELD,         0x01088) \
    X( 68, DPUTFIELD,         0x01088) \
    X( 69, APUTFIELD,         0x01088) \
    X( 70, IGETSTATIC,        0x02100) \
    X( 71, LGETSTATIC,        0x02100) \
    X( 72, FGETSTATIC,        0x02100) \
    X( 73, DGETSTATIC,        0x02100) \
    X( 74, AGETSTATIC,        0x02100) \
    X( 75, IPUTSTATIC,        0x04008) \
    X( 76, LPUTSTATIC,        0x04008) \
    X( 77, FPUTSTATIC,        0x04008) \
    X( 78, DPUTSTATIC,        0x04008) \
    X( 79, APUTSTATIC,        0x04008) \
    X( 80, NEWARRAY,          0x00000) \
    X( 81, ANEWARRAY,         0x00000) \
    X( 82, MULTIANEWARRAY,    0x00000) \
    X( 83, ARRAYLENGTH,       0x00180) \
    X( 84, I2L,               0x08207) \
    X( 85, I2F,               0x08204) \
    X( 86, I2D,               0x08204) \
    X( 87, L2I,               0x08204) \
    X( 88, L2F,               0x08204) \
    X( 89, L2D,               0x08204) \
    X( 90, F2I,               0x08204) \
    X( 91, F2L,               0x08204) \
    X( 92, F2D,               0x08307) \
    X( 93, D2I,               0x08204) \
    X( 94, D2L,               0x08204) \
    X( 95, D2F,               0x08204) \
    X( 96, POP,               0x00000) \
    X( 97, POP2,              0x00000) \
    X( 98, DUP,               0x00000) \
    X( 99, DUP2,              0x00000) \
    X(100, DUP_X1,            0x00000) \
    X(101, DUP2_X1,           0x00000) \
    X(102, DUP_X2,            0x00000) \
    X(103, DUP2_X2,           0x00000) \
    X(104, SWAP,              0x00000) \
    X(105, LDC,               0x00100) \
    X(106, ATHROW,            0x00230) \
    X(107, JSR,               0x00020) \
    X(108, NULLCHECK_MARK,    0x00080) \
    X(109, GOTO,              0x00020) \
    X(110, EADDR,             0x00000) \
    X(111, PLOAD,             0x00201) \
    X(112, PSTORE,            0x00201) \
    X(113, XALOAD,            0x00100) \
    X(114, XASTORE,           0x00008) \
    X(115, XSTORE,            0x00201) \
    X(116, LDCTABLE,          0x00000) \
    X(117, MEMSET,            0x00008) \
    X(118, NOP118,            0x00000) \
    X(119, FIXREGS,           0x00000) \
    X(120, UNFIXREGS,         0x00000) \
    X(121, REGFIX,            0x00000) \
    X(122, IARGCOPY,          0x00244) \
    X(123, FARGCOPY,          0x00244) \
    X(124, LARGCOPY,          0x00244) \
    X(125, DARGCOPY,          0x00244) \
    X(126, ILOCALCOPY,        0x90001) \
    X(127, FLOCALCOPY,        0x90001) \
    X(128, LLOCALCOPY,        0x90001) \
    X(129, DLOCALCOPY,        0x90001) \
    X(130, ALOCALCOPY,        0x90001) \
    X(131, CLASSFIELDLOAD,    0x00000) \
    X(132, IOP2_BRANCH,       0x00000) \
    X(133, RESERVED133,       0x00000) \
    X(134, IMOVE,             0x00201) \
    X(135, FMOVE,             0x00201) \
    X(136, LMOVE,             0x00201) \
    X(137, DMOVE,             0x00201) \
    X(138, AARGCOPY,          0x00244) \
    X(139, NULLCHECK,         0x00080) \
    X(140, ARRAYLENGTH_MARK,  0x00180) \
    X(141, SIZECHECK,         0x08200) \
    X(142, SIZECHECK_RANGE,   0x08200) \
    X(143, PALOAD,            0x00100) \
    X(144, CATCH,             0x00000) \
    X(145, CLASSTYPECHECK,    0x00200) \
    X(146, FCMP_BRANCH,       0x00224) \
    X(147, DCMP_BRANCH,       0x00224) \
    X(148, LCMP_BRANCH,       0x08224) \
    X(149, MEMOP2_I,          0x00008) \
    X(150, MEMOP2_L,          0x00008) \
    X(151, MEMOP2_X,          0x00008) \
    X(152, ARGSLOT,           0x00000) \
    X(153, ARRAYCOPY,         0x00008) \
    X(154, PINDOWN,           0x00000) \
    X(155, CHA_GUARD,         0x00020) \
    X(156, PADD,              0x00000) \
    X(157, LOAD_METHODBLOCK,  0x00180) \
    X(158, LOAD_METHODTABLE,  0x00180) \
    X(159, RESERVED159,       0x00000) \
    X(160, RESERVED160,       0x00000) \
    X(161, RESERVED161,       0x00000) \
    X(162, RESERVED162,       0x00000) \
    X(163, RESERVED163,       0x00000) \
    X(164, RESERVED164,       0x00000) \
    X(165, METHODBLOCKCHECK,  0x00220) \
    X(166, MTADDRESSCHECK,    0x00220) \
    X(167, AMOVE,             0x00001) \
    X(168, SYNCENTER,         0x00000) \
    X(169, SYNCEXIT,          0x00000) \
    X(170, RESERVED170,       0x00000) \
    X(171, RESERVED171,       0x00000) \
    X(172, CLINIT,            0x00408) \
    X(173, RESERVED173,       0x00000) \
    X(174, RESERVED174,       0x00000) \
    X(175, RESERVED175,       0x00000) \
    X(176, RESERVED176,       0x00000) \
    X(177, RESERVED177,       0x00000) \
    X(178, VMPTR_DEF,         0x00000) \
    X(179, ACMOVE,            0x08000) \
    X(180, ICMOVE,            0x08000) \
    X(181, LCMOVE,            0x08000) \
    X(182, FCMOVE,            0x08000) \
    X(183, DCMOVE,            0x08000)

enum quad_opcode : u1 {
#define X(num, name, attr) OPC_##name = num,
    ORVA_QUAD_OPCODES(X)
#undef X
};

constexpr int OPC_COUNT = 184;             // opcodes 0..183
constexpr int OPC_LAST_GENERATED = 180;    // code generation rejects anything above

// Opcodes whose x87 operand is a float rather than a double: an x87 value
// they consume is first narrowed to float precision, and a static store of
// theirs writes a dword.  (OPC_XASTORE takes a float only for element type 6.)
constexpr bool opc_takes_float(u4 opcode)
{
    switch (opcode) {
    case OPC_FOP2: case OPC_FOP1: case OPC_FASTORE: case OPC_FCMP: case OPC_FRETURN: case OPC_FPUTFIELD:
    case OPC_FPUTSTATIC: case OPC_F2I: case OPC_F2L: case OPC_FARGCOPY: case OPC_FCMP_BRANCH:
        return true;
    default:
        return false;
    }
}

// Attribute bits of `opc_info_quadruple`.
constexpr u4 OPA_COPY          = 0x1;      // the result is the source unchanged
constexpr u4 OPA_SIMPLE_ASSIGN = 0x2;      // local load/store, constant
constexpr u4 OPA_PURE          = 0x4;      // pure value computation
constexpr u4 OPA_SIDE_EFFECT   = 0x8;      // writes memory or calls out: a dataflow barrier
constexpr u4 OPA_LEAVES        = 0x10;     // leaves the method
constexpr u4 OPA_ENDS_BLOCK    = 0x20;     // branch, jump, return, throw, guard
constexpr u4 OPA_ARGCOPY       = 0x40;     // incoming-argument copy
constexpr u4 OPA_MAY_RAISE     = 0x80;     // may raise a run-time exception
constexpr u4 OPA_READS_MEMORY  = 0x100;    // reads fields, arrays, the constant table
constexpr u4 OPA_REGISTER_ONLY = 0x200;    // no memory operand
constexpr u4 OPA_CALL          = 0x400;    // call
constexpr u4 OPA_GETFIELD      = 0x800;    // get instance field
constexpr u4 OPA_PUTFIELD      = 0x1000;   // put instance field
constexpr u4 OPA_GETSTATIC     = 0x2000;   // get static field
constexpr u4 OPA_PUTSTATIC     = 0x4000;   // put static field
constexpr u4 OPA_OPERATOR      = 0x8000;   // arithmetic, compare, convert, check, select
constexpr u4 OPA_LOCAL_COPY    = 0x10000;  // local-to-local copy
constexpr u4 OPA_ARRAY_LOAD    = 0x20000;  // typed array load
constexpr u4 OPA_ARRAY_STORE   = 0x40000;  // typed array store
constexpr u4 OPA_LOCAL_COPY_FX = 0x80000;  // local-to-local copy (tested with bits 3..6)

// Sub-codes of OPC_OTHER.
constexpr u2 OTHER_RETURN_VOID = 1;        // return from a void method
constexpr u2 OTHER_RET         = 2;        // jump through a local holding a return address
constexpr u2 OTHER_CLINIT      = 3;        // class initialisation (becomes OPC_CLINIT)
constexpr u2 OTHER_NOP         = 4;        // no operation
constexpr u2 OTHER_NOP_DELETED = 5;        // no operation, deleted at once

// Operator codes (operator word of arithmetic quadruples).
constexpr u2 QOP_ADD = 1, QOP_SUB = 2, QOP_MUL = 3, QOP_AND = 4, QOP_OR = 5, QOP_XOR = 6;
constexpr u2 QOP_DIV = 12, QOP_REM = 13, QOP_SHL = 14, QOP_SHR = 15, QOP_USHR = 16;
constexpr u2 QOP_NEG = 19, QOP_I2B = 20, QOP_I2C = 21, QOP_I2S = 22;
constexpr u2 QOP_MAX = 7, QOP_MIN = 8, QOP_ABS = 23;
constexpr u2 QOP_NOT = 24;                 // int: 1 when the value is 0, else 0
constexpr u2 QOP_I2Z = 40;                 // int: 0 when the value is 0, else 1
constexpr u2 QOP_BOOLNOT = 42;             // int known to be 0 or 1: the other one
constexpr u2 QOP_CMPL = 4;                 // three-way float compare: unordered gives -1
constexpr u2 QOP_CMPG = 6;                 // three-way float compare: unordered gives 1

// Condition codes of branches made from bytecode.
constexpr u2 QCC_ALWAYS = 1, QCC_EQ = 2, QCC_NE = 3, QCC_LT = 4, QCC_LE = 5, QCC_GT = 6, QCC_GE = 7;

// ---------------------------------------------------------------------------
// Operand descriptor: 12 bytes, three per quadruple plus the auxiliary slot.
// ---------------------------------------------------------------------------
struct quad_operand {
    u1 kind;        // bits 0-3 operand kind (QK_*), bits 4-7 data type (QT_*)
    u1 flags;       // QF_* bits
    u2 number;      // variable number, immediate, argument index; 65535 = none
    u1 reg;         // fixed-register mask when QF_FIXED_REG is set
    u1 second;      // carried unchanged into the register manager's record
    u2 pad6;
    u4 value;       // result: int tops before/after; first source: float tops;
                    // second source: the quadruple's source pc
};
static_assert(sizeof(quad_operand) == 12);
static_assert(offsetof(quad_operand, kind) == 0);
static_assert(offsetof(quad_operand, flags) == 1);
static_assert(offsetof(quad_operand, number) == 2);
static_assert(offsetof(quad_operand, reg) == 4);
static_assert(offsetof(quad_operand, second) == 5);
static_assert(offsetof(quad_operand, value) == 8);

// Operand kinds (low nibble of the kind byte).
constexpr u1 QK_NONE          = 0;   // no operand; number 65535
constexpr u1 QK_VARIABLE      = 1;   // a variable of the method-wide numbering
constexpr u1 QK_ARGUMENT      = 2;   // an argument slot
constexpr u1 QK_IMMEDIATE     = 3;   // 0..65535 in the number field
constexpr u1 QK_NEG_IMMEDIATE = 4;   // -1..-65535, stored negated
constexpr u1 QK_CONSTANT      = 5;   // in (or pointed to by) the quadruple's value word
constexpr u1 QK_CONST_PTR     = 6;   // the value word points to the constant
constexpr u1 QK_RETURN        = 9;   // the method's result location
constexpr u1 QK_KIND_MASK     = 0x0F;

// Data types (high nibble of the kind byte; row of `opc_table_type`).
constexpr u1 QT_INT = 1, QT_REF = 2, QT_LONG = 3, QT_DOUBLE = 4, QT_FLOAT = 5;
constexpr u1 QT_EADDR = 6;           // interior address made by OPC_EADDR
constexpr u1 QT_VMPTR = 7;           // method block or method table
constexpr u1 QT_SHIFT = 4;
constexpr u2 QUAD_NO_NUMBER = 65535;

// quad_operand.flags bits.
constexpr u1 QF_CARRIED   = 0x02;    // carried into the register manager's copy
constexpr u1 QF_FRESH_CLR = 0x08;    // cleared on a fresh record
constexpr u1 QF_FIXED_REG = 0x10;    // fixed register given by `reg`

// ---------------------------------------------------------------------------
// Operand-list entry: hangs from the first source when the operand-count
// bits are 3 (array stores, calls, array copies, conditional moves,
// multi-dimensional allocation).  Appended at the tail.
// ---------------------------------------------------------------------------
struct quad_operand_list_entry {
    u2 kind;        // kind and data type in the low byte; QL_FIXED marks `extra`
    u2 number;      // variable number or immediate; kind 2: index | position << 8
    u1 extra;       // fixed assignment, or the call target's argument mask byte
    u1 pad5[3];
    u4 aux;         // always 0 when made
    quad_operand_list_entry* next;
};
static_assert(sizeof(quad_operand_list_entry) == 16);
static_assert(offsetof(quad_operand_list_entry, kind) == 0);
static_assert(offsetof(quad_operand_list_entry, number) == 2);
static_assert(offsetof(quad_operand_list_entry, extra) == 4);
static_assert(offsetof(quad_operand_list_entry, aux) == 8);
static_assert(offsetof(quad_operand_list_entry, next) == 12);

constexpr u2 QL_FIXED = 0x1000;      // the entry's extra byte carries a fixed assignment

// ---------------------------------------------------------------------------
// The quadruple (`cattr` in the front end): 84 bytes, 21 words.
// ---------------------------------------------------------------------------
struct quadruple {
    u1 opcode;              // 0..183
    u1 pad1;
    u2 subcode;             // low 4 bits: the kind nibble; bit 15: unresolved (word 0 < 0)
    u4 target;              // target block, call argument table, switch low bound, ...
    u4 second;              // switch high bound; cleared on a no-operation
    u2 op;                  // operator or condition code; front end: the local index
    u2 count;               // argument words, increment, dimensions, displacement
    u4 aux;                 // field block of a resolved field access
    u2 opcount;             // bits 0-1 source count (3 = list), QC_* bits
    u1 flags_a;             // QA_* bits
    u1 flags_b;             // QB_* bits
    u4 value;               // constant, class block, method block or cp reference
    quad_operand result;    // value defined; front end: int tops before/after
    quad_operand auxop;     // fourth operand slot: kind and number only
    quad_operand src1;      // first source or the operand-list head; front end: float tops
    quad_operand src2;      // second source; its value word is the source pc
    u4 context;             // method block of the owning block (generate_quadruple)
    u1 byte80;
    u1 byte81;
    u2 body;                // inlined body number, 0 for the method itself
};
static_assert(sizeof(quadruple) == 84);
static_assert(offsetof(quadruple, opcode) == 0);
static_assert(offsetof(quadruple, subcode) == 2);
static_assert(offsetof(quadruple, target) == 4);
static_assert(offsetof(quadruple, second) == 8);
static_assert(offsetof(quadruple, op) == 12);
static_assert(offsetof(quadruple, count) == 14);
static_assert(offsetof(quadruple, aux) == 16);
static_assert(offsetof(quadruple, opcount) == 20);
static_assert(offsetof(quadruple, flags_a) == 22);
static_assert(offsetof(quadruple, flags_b) == 23);
static_assert(offsetof(quadruple, value) == 24);
static_assert(offsetof(quadruple, result) == 28);
static_assert(offsetof(quadruple, auxop) == 40);
static_assert(offsetof(quadruple, src1) == 52);
static_assert(offsetof(quadruple, src2) == 64);
static_assert(offsetof(quadruple, context) == 76);
static_assert(offsetof(quadruple, byte80) == 80);
static_assert(offsetof(quadruple, byte81) == 81);
static_assert(offsetof(quadruple, body) == 82);

typedef quadruple cattr;

// The offsets of a range check (OPC_SIZECHECK_RANGE): signed bytes 1 and 2
// of `target`; the check covers index + low .. index + high.
inline s4 quad_range_low(const quadruple* q) { return static_cast<int8_t>(q->target >> 8 & 0xFF); }
inline s4 quad_range_high(const quadruple* q) { return static_cast<int8_t>(q->target >> 16 & 0xFF); }
inline void quad_set_range(quadruple* q, s4 low, s4 high)
{
    q->target = (q->target & ~0x00FFFF00u) | static_cast<u4>(static_cast<u1>(low)) << 8
                | static_cast<u4>(static_cast<u1>(high)) << 16;
}

// Sub-code word bits.
constexpr u2 QS_KIND_MASK     = 0x000F; // sub-code / kind nibble
constexpr u2 QS_NO_NULLCHECK  = 0x0080; // array access: null check not needed
constexpr u2 QS_NO_BOUNDCHECK = 0x0100; // array access: bounds check not needed
constexpr u2 QS_TRIVIAL_CALL  = 0x0100; // call of a trivial method that may be expanded
constexpr u2 QS_INTEGER_INIT  = 0x0400; // unresolved call of java/lang/Integer.<init>(I)V
constexpr u2 QS_BRANCH_MARK   = 0x0800; // set by the front end on some compare-and-branch
constexpr u2 QS_UNRESOLVED    = 0x8000; // unresolved reference; reversed branch

// Operand-count word bits.
constexpr u2 QC_SRC_MASK      = 0x0003; // number of sources; 3 = operand list
constexpr u2 QC_SRC_LIST      = 0x0003;
constexpr u2 QC_DELETED       = 0x0100; // skipped by every pass and by code generation
constexpr u2 QC_PERMISSIONS   = 0xF000; // the four optimizer permission flags

// Flags byte A.
constexpr u1 QA_NULLCHECK_VARIANT = 0x01; // OPC_NULLCHECK: the null-check variant
constexpr u1 QA_KEEP_FP_POP       = 0x02; // kind-12 x87 operand leaves the pending pop
constexpr u1 QA_STRING_OR_INTEGER = 0x04; // recognised String call; clinit of Integer
constexpr u1 QA_CONSTANT          = 0x08; // the value is a constant
constexpr u1 QA_CLINIT_EMPTY      = 0x10; // OPC_CLINIT generates nothing
constexpr u1 QA_LAST_CALL         = 0x20; // last call-class quadruple of its block
constexpr u1 QA_LIST_BUILT        = 0x80; // the operand list is already built

// Flags byte B.
constexpr u1 QB_ZERO_INIT         = 0x01; // initialised by the zeroing stores that follow
constexpr u1 QB_NO_CODE           = 0x02; // suppresses code for OPC_IOP2

// ---------------------------------------------------------------------------
// Attribute tables, filled once by `jit_quadruple_initialize`.
// ---------------------------------------------------------------------------

// One row of `opc_table_type` per data type (16 bytes).
struct opc_type_row {
    u1 move;            // move opcode
    u1 getfield;
    u1 putfield;
    u1 getstatic;
    u1 putstatic;
    u1 constant;        // constant-load opcode
    u1 aload;           // array-load opcode
    u1 astore;          // array-store opcode
    u2 class_bits;      // data type shifted into the class nibble
    u1 two_word;        // 1 for long and double
    u1 zero[5];
};
static_assert(sizeof(opc_type_row) == 16);
static_assert(offsetof(opc_type_row, move) == 0);
static_assert(offsetof(opc_type_row, getfield) == 1);
static_assert(offsetof(opc_type_row, putfield) == 2);
static_assert(offsetof(opc_type_row, getstatic) == 3);
static_assert(offsetof(opc_type_row, putstatic) == 4);
static_assert(offsetof(opc_type_row, constant) == 5);
static_assert(offsetof(opc_type_row, aload) == 6);
static_assert(offsetof(opc_type_row, astore) == 7);
static_assert(offsetof(opc_type_row, class_bits) == 8);
static_assert(offsetof(opc_type_row, two_word) == 10);

extern u4 opc_info_quadruple[OPC_COUNT];
extern opc_type_row opc_table_type[8];

#endif // ORVA_FRONTEND_QUAD_H
