// Reading bytecode while other threads may rewrite it, instruction lengths,
// and the reachability scan that the prescan and the call-graph walk share.
//
// The VM rewrites instructions into their quick forms while other threads
// run: under its code lock it writes 254 over the opcode, then the operand
// bytes, then the quick opcode.  So an instruction is read as one 4-byte load
// (one byte when fewer remain), again after sleep(0) while the opcode reads
// 254, and again under the code lock when, on a multiprocessor, a field or
// invoke instruction straddles a 32-byte line (its 4-byte load may then mix
// old and new bytes).
#include <string.h>
#include <unistd.h>

#include "driver/driver.h"
#include "inline/mi_prescan.h"

namespace {

// Length by opcode; 0 for tableswitch, lookupswitch and wide.
constexpr int16_t length_of(int op)
{
    if (op == 16 || op == 18 || (op >= 21 && op <= 25) || (op >= 54 && op <= 58) || op == 169 || op == 188
        || op == 203)
        return 2;
    if (op == 17 || op == 19 || op == 20 || op == 132 || (op >= 153 && op <= 168) || (op >= 178 && op <= 184)
        || op == 187 || op == 189 || op == 192 || op == 193 || op == 198 || op == 199 || (op >= 204 && op <= 217)
        || (op >= 219 && op <= 222) || (op >= 224 && op <= 228) || (op >= 230 && op <= 253))
        return 3;
    if (op == 197 || op == 223)
        return 4;
    if (op == 185 || op == 200 || op == 201 || op == 218)
        return 5;
    if (op == BC_TABLESWITCH_ || op == BC_LOOKUPSWITCH_ || op == BC_WIDE_)
        return 0;
    return 1;
}

struct length_table {
    int16_t v[256];
};
constexpr length_table make_lengths()
{
    length_table t{};
    for (int i = 0; i < 256; i++)
        t.v[i] = length_of(i);
    return t;
}
constexpr length_table kLengths = make_lengths();

bool straddles_line(const u1* address) { return (reinterpret_cast<u4>(address) & 31) + 2 >= 32; }

void load(const u1* code, u4 length, u4 pc, u1 out[4])
{
    if (length - pc >= 4) {
        u4 word = *reinterpret_cast<const volatile u4*>(code + pc);
        memcpy(out, &word, 4);
    } else {
        // The opcode as one byte; the operand bytes that remain follow it.
        out[0] = *reinterpret_cast<const volatile u1*>(code + pc);
        for (u4 k = 1; k < 4; k++)
            out[k] = pc + k < length ? code[pc + k] : 0;
    }
}

void mark(u4* v, u4 p) { v[p >> 5] |= 1u << (p & 31); }
bool marked(const u4* v, u4 p) { return (v[p >> 5] >> (p & 31)) & 1; }

bool ends_flow(u1 op, const u1* ins)
{
    return op == BC_GOTO_ || op == BC_GOTO_W_ || op == BC_TABLESWITCH_ || op == BC_LOOKUPSWITCH_
           || (op >= BC_IRETURN_ && op <= BC_RETURN_) || op == 191 || op == BC_RET_
           || (op == BC_WIDE_ && ins[1] == BC_RET_);
}

} // namespace

int16_t opcode_length[256] = {
#define L8(i) kLengths.v[i], kLengths.v[i + 1], kLengths.v[i + 2], kLengths.v[i + 3], \
              kLengths.v[i + 4], kLengths.v[i + 5], kLengths.v[i + 6], kLengths.v[i + 7]
#define L64(i) L8(i), L8(i + 8), L8(i + 16), L8(i + 24), L8(i + 32), L8(i + 40), L8(i + 48), L8(i + 56)
    L64(0), L64(64), L64(128), L64(192)
#undef L64
#undef L8
};

bool mi_is_conditional_branch(u1 op)
{
    return (op >= BC_IFEQ_ && op <= BC_IF_ACMPNE_) || op == BC_IFNULL_ || op == BC_IFNONNULL_
           || (op >= BC_VM_BRANCH_FIRST_ && op <= BC_VM_BRANCH_LAST_);
}

u1 mi_read_instruction(EE* ee, const u1* code, u4 length, u4 pc, u1 out[4])
{
    for (;;) {
        load(code, length, pc, out);
        if (out[0] == BC_REWRITING_) {
            sleep(0);
            continue;
        }
        if (orva_processor_num >= 2 && out[0] >= 180 && out[0] <= 184 && length - pc >= 4
            && straddles_line(code + pc) && vm.sysMonitorEnter != nullptr && orva_code_lock != nullptr) {
            void* thread = orva_sys_thread(ee);
            vm.sysMonitorEnter(thread, orva_code_lock);
            load(code, length, pc, out);
            vm.sysMonitorExit(thread, orva_code_lock);
            if (out[0] == BC_REWRITING_)
                continue;
        }
        return out[0];
    }
}

u4 mi_instruction_length(const u1* code, u4 length, u4 pc)
{
    if (pc >= length)
        return 0;
    u1 op = code[pc];
    uint64_t len = static_cast<u4>(opcode_length[op] > 0 ? opcode_length[op] : 0);
    if (op == BC_WIDE_) {
        if (pc + 1 >= length)
            return 0;
        len = code[pc + 1] == BC_IINC_ ? 6 : 4;
    } else if (op == BC_TABLESWITCH_ || op == BC_LOOKUPSWITCH_) {
        u4 p = (pc + 4) & ~3u;
        // The fixed part: default and bounds (tableswitch), default and pair
        // count (lookupswitch, whose pairs may be none at all).
        if (static_cast<uint64_t>(p) + (op == BC_TABLESWITCH_ ? 12 : 8) > length)
            return 0;
        if (op == BC_TABLESWITCH_) {
            s4 lo = mi_be32(code + p + 4), hi = mi_be32(code + p + 8);
            if (hi < lo)
                return 0;
            len = static_cast<uint64_t>(p) + 12 + 4 * (static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1) - pc;
        } else {
            s4 pairs = mi_be32(code + p + 4);
            if (pairs < 0)
                return 0;
            len = static_cast<uint64_t>(p) + 8 + 8 * static_cast<uint64_t>(pairs) - pc;
        }
    }
    if (len == 0 || pc + len > length)
        return 0;
    return static_cast<u4>(len);
}

// pc starts or ends (exclusively) the range of an exception-table entry.
static bool try_boundary(const methodblock* mb, u4 pc)
{
    const auto* exc = reinterpret_cast<const exception_entry*>(mb->exception_table);
    for (u4 i = 0; exc != nullptr && i < mb->exception_table_length; i++)
        if (exc[i].start_pc == pc || exc[i].end_pc == pc)
            return true;
    return false;
}

int mi_flow_scan(EE* ee, methodblock* mb, u4* leaders, u4* live_leaders, u4* starts, u4* work)
{
    u4 length = mb->code_length;
    const u1* code = mb->code;
    if (length == 0 || code == nullptr)
        return 1;
    u4 top = 0;
    auto start_point = [&](int64_t target) {
        if (target < 0 || target >= length)
            return false;
        u4 t = static_cast<u4>(target);
        mark(leaders, t);
        if (!marked(live_leaders, t))
            work[top++] = t;
        return true;
    };
    start_point(0);
    const auto* exc = reinterpret_cast<const exception_entry*>(mb->exception_table);
    for (u4 i = 0; exc != nullptr && i < mb->exception_table_length; i++)
        if (!start_point(exc[i].handler_pc))
            return 1;
    while (top > 0) {
        u4 pc = work[--top];
        if (marked(live_leaders, pc))
            continue;
        mark(live_leaders, pc);
        for (;;) {
            mark(starts, pc);
            u1 ins[4];
            u1 op = mi_read_instruction(ee, code, length, pc, ins);
            u4 len = mi_instruction_length(code, length, pc);
            if (len == 0)
                return 1;
            if (mi_is_conditional_branch(op) || op == BC_GOTO_ || op == BC_JSR_) {
                if (!start_point(static_cast<int64_t>(pc) + mi_be16(code + pc + 1)))
                    return 1;
            } else if (op == BC_GOTO_W_ || op == BC_JSR_W_) {
                if (!start_point(static_cast<int64_t>(pc) + mi_be32(code + pc + 1)))
                    return 1;
            } else if (op == BC_TABLESWITCH_ || op == BC_LOOKUPSWITCH_) {
                u4 p = (pc + 4) & ~3u;
                if (!start_point(static_cast<int64_t>(pc) + mi_be32(code + p)))
                    return 1;
                u4 n = op == BC_TABLESWITCH_ ? static_cast<u4>(mi_be32(code + p + 8) - mi_be32(code + p + 4) + 1)
                                             : static_cast<u4>(mi_be32(code + p + 4));
                for (u4 i = 0; i < n; i++) {
                    u4 at = op == BC_TABLESWITCH_ ? p + 12 + 4 * i : p + 12 + 8 * i;
                    if (!start_point(static_cast<int64_t>(pc) + mi_be32(code + at)))
                        return 1;
                }
            }
            u4 next = pc + len;
            if (ends_flow(op, ins)) {
                // The instruction after a transfer starts a block (dead
                // unless something branches to it).
                if (next < length)
                    mark(leaders, next);
                break;
            }
            // Conditional branches and subroutine calls continue at the next
            // instruction, which starts a block of its own.
            if (next >= length)
                return 1;
            // So does an instruction where a try range starts or ends: the
            // catch-frame code gives a range the blocks from its start
            // block up to its end block, so a boundary inside a block would
            // drop the block's instructions from the range (fault mended: a
            // method did not catch its own exception when its try range
            // began or ended in the middle of a block).
            if (mi_is_conditional_branch(op) || op == BC_JSR_ || op == BC_JSR_W_ || try_boundary(mb, next))
                mark(leaders, next);
            if (marked(live_leaders, next))
                break;
            if (marked(leaders, next))
                mark(live_leaders, next);
            pc = next;
        }
    }
    return 0;
}
