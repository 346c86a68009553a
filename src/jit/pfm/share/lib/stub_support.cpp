// C helpers of the assembly stubs: the gates' copying of a compiled call's
// arguments into the order the VM's invokers take, sending a method's gate
// stubs to the gate's interpreter-call path, and the lock prefixes that the
// replacement bodies get on multiprocessors.
#include "driver/driver.h"
#include "lib/descriptor.h"
#include "lib/rt_stubs.h"

// Copies the n argument words of mb into area[0 .. n-1] in the VM's order
// (argument word i at area[n - 1 - i]) and the count n into area[n].  The
// compiled caller passed the first three integer-class words (the receiver
// first) in eax, edx and ecx (regs[0..2]) and every other word, and every
// float or double word, in its argument area: word i at E + 4 x (n - i),
// E being the address of the return address.  Float and double words do
// not count towards the three: in (DLjava/lang/Object;) the reference is the
// first integer-class word and came in eax.
// Called from the gate with the stack only 4-byte aligned.
extern "C" __attribute__((force_align_arg_pointer)) void rt_gate_copy_args(methodblock* mb, u4* area,
                                                                          const u4* regs, const u4* E)
{
    u4 n = mb->args_size;
    u4 w = 0;           // argument word index
    u4 r = 0;           // integer-class words seen so far
    auto take = [&](bool integer_class) {
        if (w >= n)
            return;     // a signature longer than the argument size: copy nothing beyond it
        area[n - 1 - w] = (integer_class && r < 3) ? regs[r] : E[n - w];
        if (integer_class)
            r++;
        w++;
    };
    area[n] = n;
    if (!(mb->access & ACC_STATIC))
        take(true);
    desc_walk walk = desc_begin(mb->signature);
    for (desc_item t = desc_next(&walk); t.kind > DK_MALFORMED; t = desc_next(&walk))
        for (u4 k = 0; k < t.words; k++)
            take(!desc_is_float(t.kind));
    // A descriptor shorter than the argument size (or malformed) still
    // leaves no word of the area unwritten: the rest copy as integer class.
    while (w < n)
        take(true);
}

// Both gate stubs of mb now jump to the interpreter-call path: the jmp of
// the stub at the compiled-code address c (its displacement at c + 6) and
// that of the back-patching stub 10 bytes before it (displacement at c - 4).
// A compiled-code slot that does not hold the two stubs (push imm32; jmp
// rel32) is left alone: it is code, not glue.
void ForceCCtoInvokeInterpreterFromJIT(methodblock* mb)
{
    u1* c = static_cast<u1*>(mb->compiled_code);
    if (c == nullptr || c[0] != 0x68 || c[5] != 0xE9 || c[-10] != 0x68 || c[-5] != 0xE9)
        return;
    u4 path = reinterpret_cast<u4>(&__bp_gate_code_interpreter);
    *reinterpret_cast<u4*>(c + 6) = path - reinterpret_cast<u4>(c + 10);
    *reinterpret_cast<u4*>(c - 4) = path - reinterpret_cast<u4>(c);
}

void rt_adapt_body_to_processors(u1* start, u1* end, int processors)
{
    if (processors <= 1)
        return;
    for (u1** site = rt_replace_lock_sites; site < rt_replace_lock_sites_end; site++)
        if (*site >= start && *site < end)
            **site = 0xF0;
}
