// The simulated Java operand stack of the analyses over bytecode-level
// instruction records (class flow, null checks, field privatization, array
// bound checks, type flow, dead stores).
//
// Every analysis keeps its own slot record; the stack operations are the same
// for all of them and are written once here, over any slot type that has
//   - a word `two`: nonzero on both halves of a long or double, and
//   - `void mark()`: sets the analysis's shuffle mark, which every stack
//     shuffle (dup family, swap) puts on each slot it reads or writes, so that
//     the analysis can tell values a stack instruction duplicated or moved.
//
// A failed precondition never touches the slots: the stack becomes empty and
// the analysis goes on with no facts for the rest of the block.  The stack
// never fails on its own; the analyses only know less.
#ifndef ORVA_DATAFLOW_DF_BCSTACK_H
#define ORVA_DATAFLOW_DF_BCSTACK_H

#include "vm_abi.h"

template <typename Slot>
struct abstract_stack {
    s4 depth;                   // slots in use
    Slot* slots;
    s4 capacity;                // slots available

    void clear() { depth = 0; }
    bool empty() const { return depth <= 0; }
    Slot* top() { return depth > 0 ? &slots[depth - 1] : nullptr; }

    // Room for one more slot: the new slot, or null (the stack is emptied).
    Slot* push_slot()
    {
        if (depth < 0 || depth >= capacity) {
            depth = 0;
            return nullptr;
        }
        return &slots[depth++];
    }
    bool push(const Slot& s)
    {
        Slot* p = push_slot();
        if (p != nullptr)
            *p = s;
        return p != nullptr;
    }
    // Two slots at once: both given slots, in order; empties the stack when
    // there is no room for both.
    bool push_pair(const Slot& low, const Slot& high)
    {
        if (depth < 0 || depth >= capacity - 1) {
            depth = 0;
            return false;
        }
        slots[depth] = low;
        slots[depth + 1] = high;
        depth += 2;
        return true;
    }
    // A two-slot value: both halves equal, the two-slot marker set.
    bool push2(Slot s)
    {
        s.two = 1;
        return push_pair(s, s);
    }

    void mark_top()
    {
        if (depth > 0)
            slots[depth - 1].mark();
    }

    // The top slot, or null on an empty stack.  A half of a two-slot value
    // cannot be popped alone: the stack is emptied and null returned.
    Slot* pop()
    {
        if (depth <= 0) {
            depth = 0;
            return nullptr;
        }
        Slot* s = &slots[depth - 1];
        if (s->two) {
            depth = 0;
            return nullptr;
        }
        depth--;
        return s;
    }
    // The top slot whatever it is (null on an empty stack).
    Slot* pop_any()
    {
        if (depth <= 0) {
            depth = 0;
            return nullptr;
        }
        return &slots[--depth];
    }
    // Two slots; the lower one is returned.  Fewer than two empty the stack.
    Slot* pop2()
    {
        if (depth <= 1) {
            depth = 0;
            return nullptr;
        }
        depth -= 2;
        return &slots[depth];
    }
    // Drops n slots and answers the deepest of them (null when it is a half of
    // a two-slot value).  n above the depth empties the stack; n below 1 does
    // nothing.
    Slot* pop_n(s4 n)
    {
        if (n < 1)
            return nullptr;
        if (depth < n) {
            depth = 0;
            return nullptr;
        }
        depth -= n - 1;
        Slot* s = &slots[depth - 1];
        depth--;
        return s->two ? nullptr : s;
    }

    // ..., v1 -> ..., v1, v1
    void dup()
    {
        if (depth <= 0 || depth >= capacity) {
            depth = 0;
            return;
        }
        slots[depth - 1].mark();
        slots[depth] = slots[depth - 1];
        depth++;
    }
    // ..., v2, v1 -> ..., v1, v2, v1
    void dup_x1()
    {
        if (depth <= 1 || depth >= capacity) {
            depth = 0;
            return;
        }
        shuffle(2, 1);
    }
    // ..., v3, v2, v1 -> ..., v1, v3, v2, v1
    void dup_x2()
    {
        if (depth <= 2 || depth >= capacity) {
            depth = 0;
            return;
        }
        shuffle(3, 1);
    }
    // ..., v2, v1 -> ..., v2, v1, v2, v1
    void dup2()
    {
        if (depth <= 1 || depth >= capacity - 1) {
            depth = 0;
            return;
        }
        slots[depth - 2].mark();
        slots[depth - 1].mark();
        slots[depth] = slots[depth - 2];
        slots[depth + 1] = slots[depth - 1];
        depth += 2;
    }
    // ..., v3, v2, v1 -> ..., v2, v1, v3, v2, v1
    void dup2_x1()
    {
        if (depth <= 2 || depth >= capacity - 1) {
            depth = 0;
            return;
        }
        shuffle(3, 2);
    }
    // ..., v4, v3, v2, v1 -> ..., v2, v1, v4, v3, v2, v1
    void dup2_x2()
    {
        if (depth <= 3 || depth >= capacity - 1) {
            depth = 0;
            return;
        }
        shuffle(4, 2);
    }
    void swap()
    {
        if (depth <= 1) {
            depth = 0;
            return;
        }
        Slot& a = slots[depth - 2];
        Slot& b = slots[depth - 1];
        a.mark();
        b.mark();
        Slot t = a;
        a = b;
        b = t;
    }

    // Every slot for which `names(slot)` holds is passed to `forget(slot)`:
    // after a store into a local, no slot may go on naming its old value.
    template <typename Names, typename Forget>
    void forget_if(Names names, Forget forget)
    {
        for (s4 i = 0; i < depth; i++)
            if (names(slots[i]))
                forget(slots[i]);
    }

private:
    // The top `copied` slots are copied below the top `window` slots (all of
    // them marked): window 2, 3 or 4; copied 1 or 2.
    void shuffle(s4 window, s4 copied)
    {
        Slot* base = &slots[depth - window];
        for (s4 i = 0; i < window; i++)
            base[i].mark();
        Slot saved[4];
        for (s4 i = 0; i < window; i++)
            saved[i] = base[i];
        for (s4 i = 0; i < copied; i++)
            base[i] = saved[window - copied + i];
        for (s4 i = 0; i < window; i++)
            base[copied + i] = saved[i];
        depth += copied;
    }
};

#endif // ORVA_DATAFLOW_DF_BCSTACK_H
