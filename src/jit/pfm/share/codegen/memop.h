// Operand descriptors of the code generators: `reg_operand`, one 32-bit word
// of a quadruple operand as the register manager and the generators see it,
// and `memop`, a value that lives in memory (a frame slot, a data-table
// constant, a field or array element whose address an earlier quadruple
// computed), handed to the emitters as a memory operand instead of being
// loaded first.  The memory-operand loaders of the emit layer read them.
#ifndef ORVA_CODEGEN_MEMOP_H
#define ORVA_CODEGEN_MEMOP_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"

struct quad_operand;

// reg_operand.kind
constexpr char OPND_NONE = 0;
constexpr char OPND_LOCAL = 'L';      // variable
constexpr char OPND_ARG = 'S';        // outgoing argument (x87 kind 12: the spare slot)
constexpr char OPND_CONST = 'C';      // integer constant
constexpr char OPND_ADDR = 'A';       // address constant
constexpr char OPND_XCONST = 'X';     // constant reached through the value word
constexpr char OPND_YCONST = 'Y';     // constant through a pointer (float, double)
constexpr char OPND_FREG = 'R';       // an x87 model register

struct reg_operand {
    char kind;             // OPND_*
    char type;             // 'I' integer word, 'F' float, 'D' double; 0 empty long half
    u2 aux;                // outgoing argument: the argument position
    u4 value;              // variable number, argument index, constant, pointer; -1 none
    quad_operand* source;  // the quadruple operand (or a private copy); 0 for constants
};
static_assert(sizeof(reg_operand) == 12);
static_assert(offsetof(reg_operand, kind) == 0);
static_assert(offsetof(reg_operand, type) == 1);
static_assert(offsetof(reg_operand, aux) == 2);
static_assert(offsetof(reg_operand, value) == 4);
static_assert(offsetof(reg_operand, source) == 8);

// memop.form
constexpr u1 MEMOP_FORM_REG_OR_SLOT = 4;    // a register or a slot
constexpr u1 MEMOP_FORM_CONST = 8;          // a constant, two-word form
constexpr u1 MEMOP_FORM_LOCAL = 66;         // a local in its frame slot
constexpr u1 MEMOP_FORM_USED = 0x01;        // a two-operand generator used the descriptor

// memop.disp marker: the real displacement is in disp2.
constexpr u4 MEMOP_DISP_IN_DISP2 = 0xDEADBEEF;

struct memop {
    s4 base;               // base register id; GR_ESP for a frame slot; 0 absolute
    s4 index;              // index register id, or the high-word register of an 8-byte value
    s4 scale;              // 0 when there is no index register
    s4 disp;               // displacement
    s4 size;               // 1, 2, 4 or 8 bytes
    u1 form;               // MEMOP_FORM_*
    u1 pad0[3];
    s4 disp2;              // displacement of the high word of an 8-byte value
    u1 where;              // 'R' in registers, 'M' in memory
    u1 is_signed;          // a 1- or 2-byte value is sign-extended on loading
    u2 type_class;         // the operand's type word; bits 0xF0 the class
    reg_operand low;       // the value (or its low word)
    reg_operand high;      // the high word of an 8-byte value
    u1 high_where;         // 'R' or 'M' for the high word
    u1 pad1[3];
};
static_assert(sizeof(memop) == 60);
static_assert(offsetof(memop, base) == 0);
static_assert(offsetof(memop, index) == 4);
static_assert(offsetof(memop, scale) == 8);
static_assert(offsetof(memop, disp) == 12);
static_assert(offsetof(memop, size) == 16);
static_assert(offsetof(memop, form) == 20);
static_assert(offsetof(memop, disp2) == 24);
static_assert(offsetof(memop, where) == 28);
static_assert(offsetof(memop, is_signed) == 29);
static_assert(offsetof(memop, type_class) == 30);
static_assert(offsetof(memop, low) == 32);
static_assert(offsetof(memop, high) == 44);
static_assert(offsetof(memop, high_where) == 56);

#endif // ORVA_CODEGEN_MEMOP_H
