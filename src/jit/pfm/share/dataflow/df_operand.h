// The operand fields the quadruple passes read and write, seen the same way
// on a quadruple's operand descriptor and on an operand-list entry: the kind
// halfword (kind and type in the low byte, marks in the high byte), the
// number, the meantime distance and the chain word.  Both records keep these
// four fields at the same offsets, so one view serves both.
//
// Marks of the kind halfword:
//   0x100  dead after this access (first slot)          liveness
//   0x200  the same for the second slot of a long/double liveness
//   0x400  a call comes before the next access          call dominance
//   0x800  the chain word is one inline quad_ref        reaching definitions
//   0x2000 consumed by the very next quadruple          chain pass
// The chain word is a `varref_list` head when 0x800 is clear (null = empty).
#ifndef ORVA_DATAFLOW_DF_OPERAND_H
#define ORVA_DATAFLOW_DF_OPERAND_H

#include <stddef.h>
#include <stdint.h>

#include "vm_abi.h"
#include "frontend/quad.h"
#include "frontend/qgen.h"
#include "dataflow/dataflow.h"

struct df_operand {
    u2 kind;            // kind | type << 4 | marks
    u2 number;          // variable number; kind 2: index | position << 8
    u1 byte4;           // preferred registers / list entry: fixed assignment
    u1 byte5;
    int16_t meantime;   // distance to the next occurrence (meantime analysis)
    u4 chain;           // use-def or def-use chain
};
static_assert(sizeof(df_operand) == 12);
static_assert(offsetof(df_operand, kind) == offsetof(quad_operand, kind));
static_assert(offsetof(df_operand, number) == offsetof(quad_operand, number));
static_assert(offsetof(df_operand, meantime) == offsetof(quad_operand, pad6));
static_assert(offsetof(df_operand, chain) == offsetof(quad_operand, value));
static_assert(offsetof(df_operand, kind) == offsetof(quad_operand_list_entry, kind));
static_assert(offsetof(df_operand, number) == offsetof(quad_operand_list_entry, number));
static_assert(offsetof(df_operand, chain) == offsetof(quad_operand_list_entry, aux));

constexpr u2 DFO_KIND_MASK  = 0x000F;
constexpr u2 DFO_DEAD       = 0x0100;   // dead after this access (first slot)
constexpr u2 DFO_DEAD2      = 0x0200;   // dead after this access (second slot)
constexpr u2 DFO_CALLDOM    = 0x0400;   // a call comes first on every path
constexpr u2 DFO_SINGLE_REF = 0x0800;   // chain word is one inline reference
constexpr u2 DFO_CONSUMED   = 0x2000;   // consumed by the next quadruple
constexpr int16_t DF_MEANTIME_NONE = 32767;  // no next occurrence

inline df_operand* df_opnd(quad_operand* o) { return reinterpret_cast<df_operand*>(o); }
inline df_operand* df_opnd(quad_operand_list_entry* e) { return reinterpret_cast<df_operand*>(e); }
inline u1 df_kind(const df_operand* o) { return o->kind & DFO_KIND_MASK; }
inline u1 df_type(const df_operand* o) { return (o->kind >> QT_SHIFT) & 0xF; }
inline bool df_is_local(const df_operand* o) { return df_kind(o) == QK_VARIABLE; }
// Long and double take two slots (n and n + 1).
inline bool df_two_slot_type(u1 type) { return type == QT_LONG || type == QT_DOUBLE; }

// Quadruple-level facts every pass reads.
inline u4 df_shape(const quadruple* q) { return q->opcount & QC_SRC_MASK; }
inline bool df_deleted(const quadruple* q) { return (q->opcount & QC_DELETED) != 0; }
inline u4 df_exception_class(const quadruple* q) { return (q->opcount >> 12) & 0xF; }
constexpr u4 DF_CANNOT_RAISE = 15;
inline void df_set_exception_class(quadruple* q, u4 c)
{
    q->opcount = static_cast<u2>((q->opcount & 0x0FFF) | (c & 0xF) << 12);
}

// Quadruples no pass removes for an unused destination: their code does
// more than write it (a handler's entry, register pinning, a jsr, a
// pin-down, the monitor of a synchronized method).
inline bool df_always_kept(u1 opcode)
{
    switch (opcode) {
    case OPC_CATCH: case OPC_FIXREGS: case OPC_UNFIXREGS: case OPC_REGFIX: case OPC_JSR: case OPC_PINDOWN:
    case OPC_SYNCENTER: case OPC_SYNCEXIT:
        return true;
    default:
        return false;
    }
}

// Calls fn(df_operand*) for each source operand of q in order: the first and
// second source, or every entry of the operand list.
template <typename F> void df_for_each_source(quadruple* q, F fn)
{
    switch (df_shape(q)) {
    case 1: fn(df_opnd(&q->src1)); break;
    case 2: fn(df_opnd(&q->src1)); fn(df_opnd(&q->src2)); break;
    case 3:
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            fn(df_opnd(e));
        break;
    default: break;
    }
}

// Chains: the references held by an operand, inline or as a list.
template <typename F> void df_for_each_ref(const df_operand* o, F fn)
{
    if (o->kind & DFO_SINGLE_REF) {
        if (o->chain != 0)
            fn(static_cast<quad_ref>(o->chain));
        return;
    }
    for (const varref_list* l = reinterpret_cast<const varref_list*>(o->chain); l != nullptr; l = l->next)
        fn(l->ref);
}
inline void df_clear_chain(df_operand* o)
{
    o->chain = 0;
    o->kind &= static_cast<u2>(~DFO_SINGLE_REF);
}

// The meantime analysis's call-candidate record of a call quadruple, kept in
// its auxiliary operand's word.
inline meantime_call_candidates* quad_call_candidates(const quadruple* q)
{
    return reinterpret_cast<meantime_call_candidates*>(q->auxop.value);
}
inline void quad_set_call_candidates(quadruple* q, meantime_call_candidates* c)
{
    q->auxop.value = reinterpret_cast<u4>(c);
}

// Chain helpers of the use-def chain pass, shared with the array-copy rewrite:
// the live quadruple a reference names (null for block 0, a removed block or
// a deleted quadruple), the one definition of a use (0 when none or
// several), and the class or field a resolved quadruple names.
quadruple* quad_of(const method_compile_context* m, quad_ref r);
quad_ref single_def(const df_operand* o);
classblock* quad_classblock(const quadruple* q);
const fieldblock* quad_field(const quadruple* q, bool is_static);

#endif // ORVA_DATAFLOW_DF_OPERAND_H
