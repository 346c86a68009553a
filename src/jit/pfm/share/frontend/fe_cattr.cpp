// Per-block quadruple builder: the first form of the intermediate code.
//
// `generate_cattr_from_bytecode` walks the live blocks of a body in pc order
// and lets `gen_bb_cattr_from_bytecode` translate each block's bytecode into
// one front-end quadruple per instruction (a reflective call takes three),
// together with the block's successor edges.  Requires the prescan's bit maps
// (leaders, live leaders, instruction starts), the block table made by the
// front-end driver and the pc map.  Stack operands stay implicit: shuffles
// become OPC_POP .. OPC_SWAP quadruples that the stack pass removes.
//
// Each block gets one record per instruction plus two spare records per
// invoke instruction (the reflective replacement of an invoke fills three
// slots); the prescan's record keeps no spare count of its own, so the
// builder counts them from the block's bytecode.
#include <string.h>
#include <unistd.h>

#include "driver/driver.h"
#include "frontend/fe_external.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"

namespace {

// Bytecodes the builder names.
constexpr u1 BC_ASTORE = 0x3a, BC_ASTORE_0 = 0x4b, BC_ASTORE_3 = 0x4e, BC_DUP = 0x59;
constexpr u1 BC_IINC = 0x84, BC_IFEQ = 153, BC_IF_ACMPNE = 166, BC_GOTO = 167, BC_JSR = 168, BC_RET = 169;
constexpr u1 BC_TABLESWITCH = 170, BC_LOOKUPSWITCH = 171, BC_IRETURN = 172, BC_RETURN = 177;
constexpr u1 BC_GETSTATIC = 178, BC_GETFIELD = 180, BC_PUTFIELD = 181, BC_INVOKESTATIC = 184, BC_INVOKEVIRTUAL = 182, BC_INVOKEINTERFACE = 185;
constexpr u1 BC_UNUSED = 186, BC_NEW = 187, BC_NEWARRAY = 188, BC_ANEWARRAY = 189, BC_ARRAYLENGTH = 190;
constexpr u1 BC_ATHROW = 191, BC_CHECKCAST = 192, BC_INSTANCEOF = 193, BC_MONITORENTER = 194;
constexpr u1 BC_MONITOREXIT = 195, BC_WIDE = 196, BC_MULTIANEWARRAY = 197, BC_IFNULL = 198, BC_IFNONNULL = 199;
constexpr u1 BC_GOTO_W = 200, BC_JSR_W = 201, BC_BREAKPOINT = 202, BC_LDC_QUICK = 203, BC_LDC2_W_QUICK = 205;
constexpr u1 BC_GETFIELD_QUICK = 206, BC_INVOKEVIRTUAL_QUICK = 214, BC_INVOKEVIRTUALOBJECT_QUICK = 219;
constexpr u1 BC_INVOKEIGNORED_QUICK = 220, BC_INVOKEVIRTUAL_QUICK_W = 226, BC_NONNULL_QUICK = 229;
constexpr u1 BC_VM_IFZ_FIRST = 230, BC_VM_IFCMP_FIRST = 242, BC_VM_IF_LAST = 253;
constexpr u1 BC_REWRITING = 0xFE, BC_ALOAD_0_VARIANT = 255;

constexpr u2 GOTO_VOID = 1;         // sub-code of a continuation jump without a value

// Condition codes of ifeq, ifne, iflt, ifge, ifgt, ifle (and the compare forms).
constexpr u2 kConditions[6] = {QCC_EQ, QCC_NE, QCC_LT, QCC_GE, QCC_GT, QCC_LE};

s4 be16(const u1* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }
s4 be32(const u1* p)
{
    return static_cast<s4>(static_cast<u4>(p[0]) << 24 | static_cast<u4>(p[1]) << 16 | static_cast<u4>(p[2]) << 8 | p[3]);
}

bool is_invoke(u1 op)
{
    return (op >= BC_INVOKEVIRTUAL && op <= BC_INVOKEINTERFACE)
           || (op >= BC_INVOKEVIRTUAL_QUICK && op <= BC_INVOKEVIRTUALOBJECT_QUICK) || op == BC_INVOKEVIRTUAL_QUICK_W;
}

bool is_member(u1 op)
{
    return (op >= BC_GETSTATIC && op <= BC_PUTFIELD) || op == BC_NEW || op == BC_ANEWARRAY || op == BC_CHECKCAST
           || op == BC_INSTANCEOF || op == BC_MULTIANEWARRAY || (op >= BC_GETFIELD_QUICK && op <= 213)
           || (op >= BC_INVOKEIGNORED_QUICK && op <= 225) || (op >= 227 && op <= BC_NONNULL_QUICK);
}

u4 instruction_length(const u1* code, u4 pc)
{
    u1 op = code[pc];
    if (opcode_length[op] > 0)
        return static_cast<u4>(opcode_length[op]);
    if (op == BC_WIDE)
        return code[pc + 1] == BC_IINC ? 6 : 4;
    u4 p = (pc + 4) & ~3u;
    if (op == BC_TABLESWITCH)
        return p + 12 + 4 * static_cast<u4>(be32(code + p + 8) - be32(code + p + 4) + 1) - pc;
    if (op == BC_LOOKUPSWITCH)
        return p + 8 + 8 * static_cast<u4>(be32(code + p + 4)) - pc;
    return 1;
}

u4* new_successors(method_compile_context* m, bbattr* b, u4 n)
{
    b->succ = static_cast<u4*>(jit_wmem_alloc(m->pool1, n * 4));
    b->succ_count = n;
    return b->succ;
}

void one_successor(cattr_builder* b, u4 s)
{
    new_successors(b->m, b->block, 1)[0] = s;
    b->m->bb_table[s]->pred_count++;
}

// Block of a branch target; a target outside the body (which the prescan
// refuses) is answered with the exit block and marks the builder failed.
u4 block_of(cattr_builder* b, s4 pc)
{
    if (pc < 0 || static_cast<u4>(pc) >= b->body->code_length) {
        b->bad_target = true;
        return b->args->exit_block;
    }
    return b->args->pc_map[pc].block;
}

// The block after this one, or the exit block after the body's last block.
u4 fall_through_block(cattr_builder* b)
{
    u4 next = b->block->id + 1;
    u4 sentinel = b->args->pc_map[b->body->code_length].block;
    return next >= sentinel ? b->args->exit_block : next;
}

void append_exit(cattr_builder* b)
{
    if (b->args->exit_list != nullptr)
        b->args->exit_list[(*b->args->exit_count)++] = b->block->id;
}

void conditional_branch(cattr_builder* b, quadruple* q, u4 pc, s4 offset, u4 length, u1 opcode, u2 cond,
                        bool one_value, bool standard)
{
    if (offset == static_cast<s4>(length)) {
        // A branch to the next instruction only drops what it compared.
        q->opcode = one_value ? OPC_POP : OPC_POP2;
        return;
    }
    q->opcode = opcode;
    q->op = cond;
    u4 target = block_of(b, static_cast<s4>(pc) + offset);
    q->target = target;
    u4 next = fall_through_block(b);
    u4* s = new_successors(b->m, b->block, 2);
    s[0] = next;
    s[1] = target;
    b->m->bb_table[next]->pred_count++;
    b->m->bb_table[target]->pred_count++;
    if (standard) {
        if (offset > 0)
            b->block->flags2 |= BB2_FORWARD_BRANCH;
        else
            b->block->flags |= BB_BACKWARD_BRANCH;
    }
}

void translate_jsr(cattr_builder* b, quadruple* q, u4 target)
{
    method_compile_context* m = b->m;
    if (mis_subroutines_expanded(b->mis)) {
        q->opcode = OPC_GOTO;
        q->target = target;
        one_successor(b, target);
        return;
    }
    q->opcode = OPC_JSR;
    q->target = target;
    bbattr* t = m->bb_table[target];
    u4 index = 0;
    u4 n = *b->args->subroutine_count;
    if (!(t->flags & BB_SUBROUTINE)) {
        b->args->subroutine_list[n] = -static_cast<s4>(target);
        index = n;
        (*b->args->subroutine_count)++;
        t->flags |= BB_SUBROUTINE;
    } else {
        while (index < n && b->args->subroutine_list[index] != -static_cast<s4>(target))
            index++;
    }
    q->op = static_cast<u2>(index);
    t->pred_count++;
    // The jsr's block continues at the return point.
    one_successor(b, fall_through_block(b));
}

void translate_ret(cattr_builder* b, quadruple* q, u4 local)
{
    if (mis_subroutines_expanded(b->mis)) {
        q->opcode = OPC_GOTO;
        u4 target = block_of(b, b->mis->subroutine_after);
        q->target = target;
        one_successor(b, target);
        return;
    }
    q->opcode = OPC_OTHER;
    quad_set_kind_nibble(q, OTHER_RET);
    s4 n = remap_body_local(b, q, local, false);
    q->op = static_cast<u2>(n);
    new_successors(b->m, b->block, 1)[0] = b->args->exit_block;
    append_exit(b);
}

void translate_return(cattr_builder* b, quadruple* q, u1 op)
{
    if (b->args->inline_flag) {
        static constexpr u2 kValueTypes[5] = {2, 3, 4, 5, 6};   // int, long, float, double, reference
        q->opcode = OPC_GOTO;
        quad_set_kind_nibble(q, op == BC_RETURN ? GOTO_VOID : kValueTypes[op - BC_IRETURN]);
        q->target = b->args->continuation_block;
        one_successor(b, b->args->continuation_block);
        return;
    }
    if (op == BC_RETURN) {
        q->opcode = OPC_OTHER;
        quad_set_kind_nibble(q, OTHER_RETURN_VOID);
    } else {
        q->opcode = static_cast<u1>(OPC_IRETURN + (op - BC_IRETURN));
    }
    new_successors(b->m, b->block, 1)[0] = b->args->exit_block;
    append_exit(b);
}

void translate_switch(cattr_builder* b, quadruple* q, const u1* code, u4 pc, u1 op)
{
    u4 p = (pc + 4) & ~3u;
    s4 dflt = be32(code + p);
    q->opcode = OPC_SWITCH;
    u4 n;
    u4* s;
    if (op == BC_TABLESWITCH) {
        s4 low = be32(code + p + 4), high = be32(code + p + 8);
        quad_set_kind_nibble(q, 0);
        q->target = static_cast<u4>(low);
        q->second = static_cast<u4>(high);
        n = static_cast<u4>(high - low + 2);
        s = new_successors(b->m, b->block, n);
        for (u4 i = 1; i < n; i++)
            s[i] = block_of(b, static_cast<s4>(pc) + be32(code + p + 12 + 4 * (i - 1)));
    } else {
        s4 pairs = be32(code + p + 4);
        quad_set_kind_nibble(q, 1);
        q->target = static_cast<u4>(pairs);
        q->second = reinterpret_cast<u4>(code + p);
        n = static_cast<u4>(pairs) + 1;
        s = new_successors(b->m, b->block, n);
        for (u4 i = 1; i < n; i++)
            s[i] = block_of(b, static_cast<s4>(pc) + be32(code + p + 8 + 8 * (i - 1) + 4));
    }
    s[0] = block_of(b, static_cast<s4>(pc) + dflt);
    for (u4 i = 0; i < n; i++)
        b->m->bb_table[s[i]]->pred_count++;
    b->m->switch_target_total += n;
}

// Loads and stores of a local given by index (wide forms, aload_0 variant).
void local_access(cattr_builder* b, quadruple* q, u1 quad_opcode, u4 local, bool load)
{
    q->opcode = quad_opcode;
    s4 n = remap_body_local(b, q, local, load);
    if (n >= 0)
        q->op = static_cast<u2>(n);
}

void translate_iinc(cattr_builder* b, quadruple* q, u4 local, s4 increment)
{
    q->opcode = OPC_IINC;
    s4 n = remap_body_local(b, q, local, false);
    q->op = static_cast<u2>(n);
    q->count = static_cast<u2>(static_cast<int16_t>(increment));
}

// `wide`: the widened instruction at pc + 1 with a 16-bit local.
int translate_wide(cattr_builder* b, quadruple* q, const u1* code, u4 pc)
{
    u1 op = code[pc + 1];
    u4 local = static_cast<u4>(code[pc + 2] << 8 | code[pc + 3]);
    quad_set_source_pc(q, static_cast<s4>(pc + 1));
    static constexpr u1 kLoads[5] = {OPC_ILOAD, OPC_LLOAD, OPC_FLOAD, OPC_DLOAD, OPC_ALOAD};
    static constexpr u1 kStores[5] = {OPC_ISTORE, OPC_LSTORE, OPC_FSTORE, OPC_DSTORE, OPC_ASTORE};
    if (op >= 0x15 && op <= 0x19) {
        local_access(b, q, kLoads[op - 0x15], local, true);
    } else if (op >= 0x36 && op <= 0x3a) {
        local_access(b, q, kStores[op - 0x36], local, false);
        if (op == BC_ASTORE && mis_subroutines_expanded(b->mis) && static_cast<s4>(pc) == b->mis->subroutine_pc)
            quad_set_kind_nibble(q, OTHER_NOP_DELETED), q->opcode = OPC_OTHER;
    } else if (op == BC_IINC) {
        translate_iinc(b, q, local, be16(code + pc + 4));
    } else if (op == BC_RET) {
        translate_ret(b, q, local);
        return 2;       // ends the block
    } else {
        return 1;
    }
    return 0;
}

// Copies the quadruple before q into q (a dup of a simple push).
bool dup_of_simple_push(cattr_builder* b, quadruple* q)
{
    if (b->used == 0)
        return false;
    const quadruple* prev = b->slots[b->used - 1];
    u1 op = prev->opcode;
    if (op != OPC_ILOAD && op != OPC_ICONST && op != OPC_FLOAD && op != OPC_ALOAD && op != OPC_ACONST)
        return false;
    s4 pc = quad_source_pc(q);
    memcpy(q, prev, sizeof *q);
    quad_set_source_pc(q, pc);
    return true;
}

} // namespace

u1 read_bytecode_instruction(EE* ee, const u1* code, u4 code_length, u4 pc, u1 out[4])
{
    for (;;) {
        u4 left = code_length - pc;
        const volatile u1* at = code + pc;
        if (left >= 4) {
            u4 word;
            memcpy(&word, const_cast<const u1*>(at), 4);
            u1 op = static_cast<u1>(word);
            if (op >= BC_GETFIELD && op <= BC_INVOKESTATIC && orva_processor_num > 1
                && ((reinterpret_cast<u4>(at) & 31) + 2) > 31 && vm.sysMonitorEnter != nullptr
                && orva_code_lock != nullptr) {
                vm.sysMonitorEnter(orva_sys_thread(ee), orva_code_lock);
                memcpy(&word, const_cast<const u1*>(at), 4);
                vm.sysMonitorExit(orva_sys_thread(ee), orva_code_lock);
            }
            memcpy(out, &word, 4);
        } else {
            out[0] = at[0];
            for (u4 i = 1; i < 4; i++)
                out[i] = i < left ? at[i] : 0;
        }
        if (out[0] != BC_REWRITING)
            return out[0];
        sleep(0);
    }
}

u4 count_spare_quadruples(const u1* code, u4 code_length, u4 start_pc, u4 end_pc)
{
    u4 spare = 0;
    for (u4 pc = start_pc; pc < end_pc && pc < code_length;) {
        if (is_invoke(code[pc]))
            spare += 2;
        pc += instruction_length(code, pc);
    }
    return spare;
}

int gen_bb_cattr_from_bytecode(cattr_builder* b, u4 start_pc, u4 instruction_count)
{
    methodblock* body = b->body;
    if (b->cb->constantpool == nullptr)
        return 1;
    const u1* code = b->code;
    u4 length = body->code_length;
    u4 pc = start_pc;
    bool ended = false;
    b->used = 0;
    b->bad_target = false;
    for (u4 k = 0; k < instruction_count && pc < length; k++) {
        if (b->used >= b->slot_limit)
            return 1;
        quadruple* q = b->slots[b->used];
        quad_clear_fresh(q, static_cast<s4>(pc));
        u1 ins[4];
        u1 op = read_bytecode_instruction(b->ee, code, length, pc, ins);
        u4 len = instruction_length(code, pc);
        u4 before = b->used;
        bool last = k + 1 == instruction_count || pc + len >= length;
        int r = 0;
        if (op <= 0x98 && op != BC_IINC) {
            if (op == BC_DUP && dup_of_simple_push(b, q)) {
                // the copy stands for the dup
            } else {
                r = gen_cattr_basic(b, op, ins, pc);
                if (r == 0 && mis_subroutines_expanded(b->mis) && static_cast<s4>(pc) == b->mis->subroutine_pc
                    && (op == BC_ASTORE || (op >= BC_ASTORE_0 && op <= BC_ASTORE_3))) {
                    // The return address of an expanded subroutine is never stored.
                    q->opcode = OPC_OTHER;
                    quad_set_kind_nibble(q, OTHER_NOP_DELETED);
                }
            }
        } else if (op == BC_IINC) {
            translate_iinc(b, q, ins[1], static_cast<int8_t>(ins[2]));
        } else if ((op >= BC_IFEQ && op <= BC_IF_ACMPNE) || op == BC_IFNULL || op == BC_IFNONNULL
                   || (op >= BC_VM_IFZ_FIRST && op <= BC_VM_IF_LAST)) {
            s4 offset = be16(code + pc + 1);
            if (op <= 158)
                conditional_branch(b, q, pc, offset, len, OPC_IFZ, kConditions[op - BC_IFEQ], true, true);
            else if (op <= 164)
                conditional_branch(b, q, pc, offset, len, OPC_IFCMP, kConditions[op - 159], false, true);
            else if (op <= BC_IF_ACMPNE)
                conditional_branch(b, q, pc, offset, len, OPC_IFACMP, kConditions[op - 165], false, true);
            else if (op == BC_IFNULL || op == BC_IFNONNULL)
                conditional_branch(b, q, pc, offset, len, OPC_IFNULL, op == BC_IFNULL ? QCC_EQ : QCC_NE, true, true);
            else if (op < BC_VM_IFCMP_FIRST)
                conditional_branch(b, q, pc, offset, len, OPC_IFZ, kConditions[(op - BC_VM_IFZ_FIRST) % 6], true,
                                   false);
            else
                conditional_branch(b, q, pc, offset, len, OPC_IFCMP, kConditions[(op - BC_VM_IFCMP_FIRST) % 6],
                                   false, false);
            if (q->opcode != OPC_POP && q->opcode != OPC_POP2)
                ended = true;
        } else if (op == BC_GOTO || op == BC_GOTO_W) {
            s4 offset = op == BC_GOTO ? be16(code + pc + 1) : be32(code + pc + 1);
            q->opcode = OPC_GOTO;
            q->target = block_of(b, static_cast<s4>(pc) + offset);
            one_successor(b, q->target);
            ended = true;
        } else if (op == BC_JSR || op == BC_JSR_W) {
            s4 offset = op == BC_JSR ? be16(code + pc + 1) : be32(code + pc + 1);
            translate_jsr(b, q, block_of(b, static_cast<s4>(pc) + offset));
            ended = true;
        } else if (op == BC_RET) {
            translate_ret(b, q, ins[1]);
            ended = true;
        } else if (op == BC_TABLESWITCH || op == BC_LOOKUPSWITCH) {
            translate_switch(b, q, code, pc, op);
            ended = true;
        } else if (op >= BC_IRETURN && op <= BC_RETURN) {
            translate_return(b, q, op);
            ended = true;
        } else if (op == BC_NEWARRAY) {
            q->opcode = OPC_NEWARRAY;
            q->op = ins[1];
        } else if (op == BC_ARRAYLENGTH) {
            q->opcode = OPC_ARRAYLENGTH;
        } else if (op == BC_ATHROW) {
            q->opcode = OPC_ATHROW;
        } else if (op == BC_MONITORENTER || op == BC_MONITOREXIT) {
            q->opcode = OPC_MONITOR;
            q->op = op == BC_MONITORENTER ? 0 : 1;
        } else if (op == BC_ALOAD_0_VARIANT) {
            local_access(b, q, OPC_ALOAD, 0, true);
        } else if (op == BC_BREAKPOINT) {
            q->opcode = OPC_OTHER;
            quad_set_kind_nibble(q, OTHER_NOP);
        } else if (op == BC_WIDE) {
            r = translate_wide(b, q, code, pc);
            if (r == 2) {
                r = 0;
                ended = true;
            }
        } else if (op >= BC_LDC_QUICK && op <= BC_LDC2_W_QUICK) {
            r = gen_cattr_basic(b, static_cast<u1>(0x12 + (op - BC_LDC_QUICK)), ins, pc);
        } else if (is_invoke(op)) {
            r = gen_cattr_invoke(b, code + pc, pc);
        } else if (is_member(op)) {
            r = gen_cattr_member(b, code + pc, pc);
        } else {
            r = 1;      // xxxunusedxxx and opcodes without a translation
        }
        (void)BC_UNUSED;
        if (r != 0 || b->bad_target)
            return 1;
        b->used++;
        if (b->used - before > 1)
            update_pc2bb_table(b->args->pc_map, pc, b->used - before - 1, b->mis);
        if (last && !ended)
            one_successor(b, fall_through_block(b));
        pc += len;
    }
    b->block->quad_count = b->used;
    b->block->catbl = b->slots;
    return 0;
}

int generate_cattr_from_bytecode(method_compile_context* m, misinfo* mis, cattr_gen_args* args)
{
    methodblock* mb = mis->mb;
    u4 length = mb->code_length;
    cattr_builder b{};
    b.m = m;
    b.mis = mis;
    b.body = mb;
    b.cb = mb->clazz;
    b.code = mb->code;
    b.ee = vm.EE != nullptr ? vm.EE() : nullptr;
    b.args = args;
    b.site_cursor = args->call_sites != nullptr ? args->call_sites : mis->call_sites;
    u4 block = args->first_block;
    for (u4 pc = 0; pc < length;) {
        if (!mi_bit(mis->leaders, pc) || !mi_bit(mis->live_leaders, pc)) {
            pc++;
            continue;
        }
        u4 end = pc + 1;
        while (end < length && !mi_bit(mis->leaders, end))
            end++;
        u4 n = count_block_instructions(mis->leaders, mis->starts, length, pc);
        u4 spare = count_spare_quadruples(mb->code, length, pc, end);
        u4 total = n + spare;
        // The prescan's live-block count sized the table; a leader map that
        // disagrees with it is refused rather than written past the table.
        if (block >= args->first_block + mis->block_count || block >= m->bb_count)
            return 1;
        bbattr* bb = m->bb_table[block];
        bb->start_pc = pc;
        auto** slots = static_cast<quadruple**>(jit_wmem_alloc(m->pool1, total * sizeof(quadruple*)));
        auto* records = static_cast<quadruple*>(jit_wmem_alloc(m->pool1, total * sizeof(quadruple)));
        for (u4 i = 0; i < total; i++)
            slots[i] = &records[i];
        b.block = bb;
        b.slots = slots;
        b.slot_limit = total;
        if (gen_bb_cattr_from_bytecode(&b, pc, n) != 0)
            return 1;
        m->total_quad_count += bb->quad_count;
        block++;
        pc = end;
    }
    if (args->temporaries != nullptr)
        *args->temporaries = b.temporaries;
    return 0;
}
