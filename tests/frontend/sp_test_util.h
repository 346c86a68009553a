// Helpers of the stack-pass and translation tests: a compile context with
// its work pools, a block table around hand-made blocks, quadruples in the
// front-end form, and a builder positioned on one instruction of a real
// method.  Everything runs on a Java thread (fetest::run).
#ifndef ORVA_TESTS_FRONTEND_SP_TEST_UTIL_H
#define ORVA_TESTS_FRONTEND_SP_TEST_UTIL_H

#include <string>
#include <vector>

#include "driver/driver.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "frontend/stackpass.h"

namespace sptest {

// A compile context for mb (pools 1 and 2, max stack and locals from mb).
method_compile_context* new_context(methodblock* mb);
void free_context(method_compile_context* m);

// Block table [entry, body blocks..., exit]; body block i (1-based) gets the
// given quadruples.  The entry block's first successor is block 1.
void make_blocks(method_compile_context* m, const std::vector<std::vector<quadruple*>>& bodies);

// A fresh front-end quadruple from pool 1 with its stack tops (-1 = empty).
quadruple* quad(method_compile_context* m, u1 opcode, int P = -1, int Pa = -1, int F = -1, int Fa = -1);
// Stack list of a call: one entry per operand-stack word, bottom first.
void set_stack_list(method_compile_context* m, quadruple* q, const std::vector<u4>& kinds);
// The shuffle's form code, where the stack pass reads it.
void set_form(quadruple* q, u4 form);

// Opcodes of a block's quadruples, in order.
std::vector<int> opcodes(const bbattr* b);

// A method block made by hand (no class), for the signature tables.
struct fake_method {
    classblock cb;
    methodblock mb;
    fake_method(const char* sig, u2 access, u2 args_size);
};

// The per-block builder positioned on the first instruction with the given
// opcode at or after `from` in mb's bytecode; the quadruple is cleared and
// its source pc set.  pc < 0 when there is none.
struct builder_fixture {
    method_compile_context* m = nullptr;
    cattr_gen_args args{};
    cattr_builder b{};
    quadruple* slots_storage[8]{};
    quadruple* records[8]{};
    bbattr block{};
    int pc = -1;
    quadruple* q() const { return b.slots[b.used]; }
};
void setup_builder(builder_fixture& f, methodblock* mb, EE* ee, u1 opcode, int from = 0);

// Constant-pool index of the Class entry naming `name`, or 0.
u4 cp_find_class(const classblock* cb, const char* name);
// Constant-pool index of the field or method reference (tag 9, 10 or 11) of
// class `cls` named `name`, or 0.
u4 cp_find_ref(const classblock* cb, u1 tag, const char* cls, const char* name);

// The pc of the first instruction with the given opcode at or after `from`.
int find_opcode(const methodblock* mb, u1 opcode, int from = 0);

// Whether the constant-pool entry named by the two-byte index of the
// instruction at `pc` is resolved. A compile resolves the entries of the
// methods it walks without quickening their bytecodes, so a test that needs
// unresolved entries checks them, not only the bytecodes.
bool entry_resolved(const methodblock* mb, int pc);

}  // namespace sptest

#endif  // ORVA_TESTS_FRONTEND_SP_TEST_UTIL_H
