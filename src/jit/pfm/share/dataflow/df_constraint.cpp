// Register constraint back-propagation: the last quadruple pass before code
// generation.
//
// Where a quadruple needs a local in given registers (a fixed-register use:
// an int return in eax, an argument copied into its register) or destroys
// registers (a call, an array allocation, an array copy), the wish travels
// backwards to the earlier uses and definitions of that local, so that the
// register manager puts the value where it will be needed and keeps other
// values out of the way.  Results, all in the register manager's numbering
// (eax edx ecx ebx ebp esi edi = bits 0..6):
//  - each local operand's preferred-register byte (`reg`; `second` for the
//    low slot of a long), read by the manager as the operand's preference;
//  - each quadruple's hint byte (`byte81`): the registers that fixed locals
//    live after the quadruple are holding, which the manager avoids when it
//    looks for a free or a spare register; `byte80` is cleared with it;
//  - for each join block, a copy of its entry colour array, hung on the
//    block's constraint word.
//
// A colour byte per local slot: bits 0-6 a register set, bit 7 "fixed" (the
// local must end up in one of them).  Blocks are walked backwards in
// reverse DFS order; the exit colours of a block come from the entry colours
// of its successors, and the whole sweep repeats once per loop level plus one
// so that wishes travel around back edges.
#include <stdio.h>
#include <string.h>

#include "driver/driver.h"
#include "driver/options.h"
#include "dataflow/dataflow.h"
#include "frontend/qgen.h"

int NeedCall(quadruple* q);

namespace {

constexpr u1 COLOR_FIXED = 0x80;
constexpr u1 COLOR_REGS = 0x7F;
constexpr u1 CALL_CLOBBERED = 0x07;      // eax edx ecx
constexpr u1 CALLEE_SAVED = 0x78;        // ebx ebp esi edi: what survives an array allocation
constexpr u1 DIVIDE_CLOBBERED = 0x02;    // edx, taken by an int division
constexpr u1 ARRAYCOPY_CLOBBERED = 0x64; // ecx esi edi, taken by the string move
constexpr u1 QF_LAST_USE = 0x01;         // the transferring copy's source dies here
constexpr u1 QF_LAST_USE_LOW = 0x02;
constexpr u4 BB2_EXPECTED_FALLTHROUGH = BB2_FORWARD_BRANCH;   // expected path: successor 0
constexpr u4 BB_EXPECTED_TAKEN = BB_BACKWARD_BRANCH;          // expected path: successor 1

struct walk {
    method_compile_context* m;
    u4 n;              // colour bytes per array (the local count)
    u1* c;             // working colours
    u1 busy;
};

bool is_fixed(u1 c) { return (c & COLOR_FIXED) != 0; }

// Access classes whose locals live in integer registers.
bool int_class(u1 kind_byte)
{
    if ((kind_byte & QK_KIND_MASK) != QK_VARIABLE)
        return false;
    switch (kind_byte & 0xF0) {
    case 0x10: case 0x20: case 0x30: case 0x60: case 0x70: return true;
    default: return false;
    }
}
bool two_slot(u1 kind_byte) { return (kind_byte & 0xF0) == 0x30; }

void kill(walk& w, u1 mask)
{
    for (u4 i = 0; i < w.n; i++) {
        u1 c = w.c[i];
        if (is_fixed(c)) {
            w.busy &= static_cast<u1>(~c);
            u1 rest = c & static_cast<u1>(~mask) & COLOR_REGS;
            if (rest != 0) {
                w.c[i] = rest | COLOR_FIXED;
                w.busy |= rest;
            } else {
                w.c[i] = static_cast<u1>(~(mask | w.busy | COLOR_FIXED));
            }
        } else {
            w.c[i] = c & static_cast<u1>(~mask) & COLOR_REGS;
        }
    }
    w.busy &= COLOR_REGS;
}

// One slot read by an operand whose preferred byte is *p.
void use_slot(walk& w, u4 slot, u1* p, bool fixed_use)
{
    if (slot >= w.n)
        return;
    if (!fixed_use) {
        if (w.c[slot] == 0)
            w.c[slot] = static_cast<u1>(~w.busy) & COLOR_REGS;
        *p = w.c[slot];
        return;
    }
    kill(w, *p);
    if (is_fixed(w.c[slot]))
        w.busy &= static_cast<u1>(~w.c[slot]);
    u1 want = *p & COLOR_REGS;
    w.c[slot] = want | COLOR_FIXED;
    w.busy = (w.busy | want) & COLOR_REGS;
    *p = want | COLOR_FIXED;
}

void use_operand(walk& w, u1 kind_byte, u1 flags, u2 number, u1* p, u1* p2)
{
    if (!int_class(kind_byte))
        return;
    bool fixed_use = (flags & QF_FIXED_REG) != 0;
    use_slot(w, number, p, fixed_use);
    if (two_slot(kind_byte))
        use_slot(w, number + 1u, p2, fixed_use);
}

// A one-slot local that the walk forces to mask `colour`, leaving busy first.
void force(walk& w, u4 slot, u1* p, u1 colour)
{
    if (slot >= w.n)
        return;
    if (is_fixed(w.c[slot]))
        w.busy &= static_cast<u1>(~w.c[slot]);
    w.c[slot] = colour;
    *p = colour;
}

bool is_transferring_copy(const quadruple* q)
{
    switch (q->opcode) {
    case OPC_ILOAD: case OPC_ISTORE: case OPC_IOP1: case OPC_LLOAD: case OPC_LSTORE: case OPC_LOP1:
    case OPC_FLOAD: case OPC_FSTORE: case OPC_DLOAD: case OPC_DSTORE: case OPC_ALOAD: case OPC_ASTORE:
    case OPC_IMOVE: case OPC_FMOVE: case OPC_LMOVE: case OPC_DMOVE: case OPC_AMOVE:
        break;
    default:
        return false;
    }
    u1 f = q->src1.flags;
    if (two_slot(q->src1.kind))
        return (f & QF_LAST_USE) && (f & QF_LAST_USE_LOW);
    return (f & QF_LAST_USE) != 0;
}

bool reads_operand(u1 kind_byte, u2 number, u4 n)
{
    return (kind_byte & QK_KIND_MASK) == QK_VARIABLE && number == n;
}

} // namespace

bool quad_reads_local(u4 n, const quadruple* q)
{
    switch (q->opcount & QC_SRC_MASK) {
    case 1:
        return q->opcode != OPC_FOP1 && q->opcode != OPC_DOP1 && reads_operand(q->src1.kind, q->src1.number, n);
    case 2:
        return reads_operand(q->src1.kind, q->src1.number, n) || reads_operand(q->src2.kind, q->src2.number, n);
    case QC_SRC_LIST:
        for (const quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next)
            if (reads_operand(static_cast<u1>(e->kind), e->number, n))
                return true;
        return false;
    default:
        return false;
    }
}

u1 collect_fixed_colors(method_compile_context* m, const u1* colors)
{
    u1 busy = 0;
    for (u4 i = 0; i < m->local_count; i++)
        if (is_fixed(colors[i]))
            busy |= colors[i];
    return busy & COLOR_REGS;
}

void kill_colors(method_compile_context* m, u1 mask, u1* busy, u1* colors)
{
    walk w = {m, m->local_count, colors, *busy};
    kill(w, mask);
    *busy = w.busy;
}

void clear_quad_color_constraints(method_compile_context* m)
{
    for (u4 b = 0; b < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        for (u4 k = 0; k < bb->quad_count; k++) {
            bb->catbl[k]->byte80 = 0;
            bb->catbl[k]->byte81 = 0;
        }
    }
}

namespace {

void definition(walk& w, quadruple* q)
{
    quad_operand& d = q->result;
    if (!int_class(d.kind) || d.number >= w.n)
        return;
    u4 n = d.number;
    bool pair = two_slot(d.kind) && n + 1 < w.n;
    if (is_transferring_copy(q)) {
        quad_operand& s = q->src1;
        if (pair && two_slot(s.kind) && (s.kind & QK_KIND_MASK) == QK_VARIABLE && s.number + 1u < w.n) {
            w.c[s.number] = w.c[n];
            w.c[s.number + 1] = w.c[n + 1];
            s.reg = w.c[n];
            s.second = w.c[n + 1];
        } else if ((s.kind & QK_KIND_MASK) == QK_VARIABLE && (s.kind & 0xF0) == (d.kind & 0xF0) && s.number < w.n) {
            w.c[s.number] = w.c[n];
            s.reg = w.c[n];
        }
        d.reg = w.c[n];
        if (pair)
            d.second = w.c[n + 1];
        return;
    }
    d.reg = w.c[n];
    if (pair)
        d.second = w.c[n + 1];
    if (quad_reads_local(n, q))
        return;
    // Seen backwards, the live range of the local starts here.
    for (u4 k = n; k <= (pair ? n + 1 : n); k++) {
        if (is_fixed(w.c[k]))
            w.busy &= static_cast<u1>(~w.c[k]);
        w.c[k] = 0;
    }
}

void uses(walk& w, quadruple* q)
{
    switch (q->opcount & QC_SRC_MASK) {
    case 1: {
        quad_operand& s = q->src1;
        bool alloc = q->opcode == OPC_NEWARRAY || q->opcode == OPC_ANEWARRAY;
        if (alloc && int_class(s.kind) && !two_slot(s.kind))
            force(w, s.number, &s.reg, CALLEE_SAVED);
        else
            use_operand(w, s.kind, s.flags, s.number, &s.reg, &s.second);
        return;
    }
    case 2: {
        quad_operand& a = q->src1;
        quad_operand& b = q->src2;
        use_operand(w, a.kind, a.flags, a.number, &a.reg, &a.second);
        bool fixed_dividend = int_class(a.kind) && !two_slot(a.kind) && (a.flags & QF_FIXED_REG);
        if (fixed_dividend && q->opcode == OPC_IOP2 && q->op == QOP_DIV) {
            kill(w, DIVIDE_CLOBBERED);
            if (int_class(b.kind) && !two_slot(b.kind) && !(b.flags & QF_FIXED_REG) && b.number < w.n
                && w.c[b.number] == 0) {
                u1 c = static_cast<u1>(~(DIVIDE_CLOBBERED | w.busy)) & COLOR_REGS;
                w.c[b.number] = c;
                b.reg = c;
            }
        }
        use_operand(w, b.kind, b.flags, b.number, &b.reg, &b.second);
        return;
    }
    case QC_SRC_LIST:
        for (quad_operand_list_entry* e = quad_list_head(q); e != nullptr; e = e->next) {
            u1 kind = static_cast<u1>(e->kind);
            bool fixed_use = (e->kind & QL_FIXED) != 0;
            use_operand(w, kind, fixed_use ? QF_FIXED_REG : 0, e->number, &e->extra, &e->pad5[0]);
        }
        return;
    default:
        return;
    }
}

void propagate_constraints_in_bb(method_compile_context* m, bbattr* b, u1* entry, const u1* exit)
{
    u4 n = m->local_count;
    memcpy(entry, exit, n);
    walk w = {m, n, entry, collect_fixed_colors(m, exit)};
    for (u4 k = b->quad_count; k-- > 0;) {
        quadruple* q = b->catbl[k];
        if (q->opcount & QC_DELETED)
            continue;
        q->byte80 = 0;
        q->byte81 = w.busy & COLOR_REGS;
        definition(w, q);
        if (NeedCall(q))
            kill(w, CALL_CLOBBERED);
        uses(w, q);
        if (q->opcode == OPC_ARRAYCOPY)
            kill(w, ARRAYCOPY_CLOBBERED);
    }
}

bool rare(const bbattr* b) { return (b->flags2 & BB2_RARE) != 0; }

u1 meet_two(u1 x, u1 y)
{
    if (is_fixed(x) && is_fixed(y))
        return x | y | COLOR_FIXED;
    if (is_fixed(x) || is_fixed(y))
        return (x | y) & COLOR_REGS;
    return (x == 0 || y == 0) ? (x | y) : (x & y);
}

// The exit colours of block b from the entry colours of its successors.
void exit_colors(method_compile_context* m, bbattr* b, u1** entries, u1* exit)
{
    u4 n = m->local_count;
    u4 count = 0;
    bbattr* s[64];
    u1* e[64];
    for (u4 k = 0; k < b->succ_count && count < 64; k++) {
        s4 id = static_cast<s4>(b->succ[k]);
        u4 a = static_cast<u4>(id < 0 ? -id : id);
        if (a >= m->bb_count || entries[a] == nullptr)
            continue;
        s[count] = m->bb_table[a];
        e[count] = entries[a];
        count++;
    }
    if (count == 0) {
        memset(exit, 0, n);
        return;
    }
    if (count == 1) {
        memcpy(exit, e[0], n);
        return;
    }
    if (count == 2) {
        const u1* pick = nullptr;
        if (b->flags & BB_EXPECTED_TAKEN)
            pick = e[1];
        else if (b->flags2 & BB2_EXPECTED_FALLTHROUGH)
            pick = e[0];
        else if (rare(s[0]))
            pick = e[1];
        else if (rare(s[1]))
            pick = e[0];
        if (pick != nullptr) {
            memcpy(exit, pick, n);
            return;
        }
        for (u4 i = 0; i < n; i++)
            exit[i] = meet_two(e[0][i], e[1][i]);
        return;
    }
    for (u4 i = 0; i < n; i++) {
        bool any_fixed = false, any_free = false, any = false;
        for (u4 k = 0; k < count; k++) {
            u1 c = e[k][i];
            any_fixed |= is_fixed(c);
            any_free |= c != 0 && !is_fixed(c);
            any |= c != 0;
        }
        u1 x = any_fixed ? 0 : COLOR_REGS;
        for (u4 k = 0; k < count; k++) {
            if (!any) {
                x = 0;
                continue;
            }
            u1 c = e[k][i];
            if (rare(s[k]) || c == 0)
                continue;
            x = any_fixed ? (x | c) : (x & c);
            if (any_free)
                x &= COLOR_REGS;
        }
        exit[i] = x;
    }
}

} // namespace

int dataflow_Q_constraint_back_propa(method_compile_context* m, dataflow_pass_context* pc)
{
    if ((compile_option2_flag & OPT2_NQCONSTRAINTPROPA) || !(m->state_flags & MCC_QUAD_FORM)) {
        clear_quad_color_constraints(m);
        return 0;
    }
    u4 n = m->local_count;
    if (m->bb_count == 0 || n == 0)
        return 0;
    work_pool* pool = jit_wmem_init(0);
    if (pool == nullptr)
        return 1;
    auto** entries = static_cast<u1**>(jit_wmem_alloc(pool, m->bb_count * sizeof(u1*)));
    u1* exit = static_cast<u1*>(jit_wmem_alloc(pool, n));
    if (entries == nullptr || exit == nullptr) {
        fprintf(stderr, "not enough memory for setting up constraint propa\n");
        return 1;
    }
    u4 depth = 0;
    for (u4 b = 0; b < m->bb_count; b++) {
        bbattr* bb = m->bb_table[b];
        entries[b] = nullptr;
        if (bb->flags & BB_DEAD)
            continue;
        entries[b] = static_cast<u1*>(jit_wmem_alloc(pool, n));
        if (entries[b] == nullptr) {
            fprintf(stderr, "not enough memory for setting up constraint propa\n");
            return 1;
        }
        memset(entries[b], 0, n);
        if ((bb->flags & BB_KIND_MASK) == BB_KIND_LOOP && bb->loop_depth + 1u > depth)
            depth = bb->loop_depth + 1u;
    }
    u4 last = m->bb_count - 1;
    for (u4 round = 0; round < depth + 1; round++) {
        for (u4 pos = m->dfs_count; pos-- > 0;) {
            u4 id = m->dfs_array[pos];
            if (id == 0 || id >= last || entries[id] == nullptr)
                continue;
            bbattr* b = m->bb_table[id];
            exit_colors(m, b, entries, exit);
            propagate_constraints_in_bb(m, b, entries[id], exit);
        }
    }
    for (u4 id = 1; id < last; id++) {
        bbattr* b = m->bb_table[id];
        if ((b->flags & BB_DEAD) || b->pred_count <= 1 || entries[id] == nullptr)
            continue;
        u1* keep = static_cast<u1*>(jit_wmem_alloc(m->pool1, n));
        if (keep == nullptr) {
            fprintf(stderr, "not enough memory for copying color array\n");
            return 1;
        }
        memcpy(keep, entries[id], n);
        bb_constraint_word(b) = reinterpret_cast<u4>(keep);
    }
    jit_wmem_free(pool);
    return 0;
}
