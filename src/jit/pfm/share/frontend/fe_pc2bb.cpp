// The pc-to-block map.
//
// `generate_pc2bb_table` maps every bytecode pc of a method to the block that
// holds it and to the position, in that block's catbl, of the first quadruple
// of the instruction covering it.  It walks the pcs with the prescan's three
// bit vectors (block leaders, live block leaders, instruction starts).  Block
// numbers count live blocks only, in pc order, as quadruple generation numbers
// them: a dead run of code does not take a number, its pcs carry the number of
// the next live block with position 0 (a dead run at the end of the method
// keeps zeroed entries).  The entry at the code length is a sentinel: the
// block after the last one, position 0.
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "inline/inline.h"

pc2bb_entry* generate_pc2bb_table(method_compile_context* m, misinfo* mis, u4 first_block)
{
    u4 length = mis->mb->code_length;
    inlining_context* ic = m->inlining;
    pc2bb_entry* table;
    if (ic != nullptr && ic->pc2bb_buffer != nullptr && ic->pc2bb_capacity >= length + 1) {
        table = ic->pc2bb_buffer;
    } else {
        table = static_cast<pc2bb_entry*>(jit_wmem_alloc(m->pool1, (length + 1) * sizeof(pc2bb_entry)));
        if (ic != nullptr) {
            ic->pc2bb_buffer = table;
            ic->pc2bb_capacity = length + 1;
        }
    }
    if (length == 0) {
        table[0] = pc2bb_entry{first_block, 0};
        return table;
    }
    memset(table, 0, length * sizeof(pc2bb_entry));
    u4 block = first_block - 1;
    u4 position = 0;
    u4 pc = 0;
    while (pc < length) {
        if (mi_bit(mis->leaders, pc)) {
            if (!mi_bit(mis->live_leaders, pc)) {
                u4 next = pc;
                while (next < length && !(mi_bit(mis->leaders, next) && mi_bit(mis->live_leaders, next)))
                    next++;
                if (next < length)
                    for (u4 p = pc; p < next; p++)
                        table[p] = pc2bb_entry{block + 1, 0};
                pc = next;
                continue;
            }
            block++;
            position = 0;
        } else if (mi_bit(mis->starts, pc)) {
            position++;
        }
        table[pc] = pc2bb_entry{block, position};
        pc++;
    }
    table[length] = pc2bb_entry{block + 1, 0};
    return table;
}

void update_pc2bb_table(pc2bb_entry* table, u4 pc, u4 added, misinfo* mis)
{
    u4 length = mis->mb->code_length;
    if (pc >= length)
        return;
    // The operand bytes carry their instruction's entry, so every pc up to the
    // next leader moves, not only the instruction starts.
    table[pc].position += added;
    for (u4 p = pc + 1; p < length && !mi_bit(mis->leaders, p); p++)
        table[p].position += added;
}

u4 count_block_instructions(const u4* leaders, const u4* starts, u4 code_length, u4 leader_pc)
{
    u4 count = 0;
    for (u4 p = leader_pc; p < code_length; p++) {
        if (p != leader_pc && mi_bit(leaders, p))
            break;
        if (mi_bit(starts, p))
            count++;
    }
    return count;
}
