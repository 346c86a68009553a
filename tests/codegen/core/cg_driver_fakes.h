// Shared state of the code-generation driver tests' fakes and a builder of
// small block graphs.
#ifndef ORVA_TESTS_CG_DRIVER_FAKES_H
#define ORVA_TESTS_CG_DRIVER_FAKES_H

#include <vector>

#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "driver/driver.h"

struct fake_state {
    int code_allocs;
    u4 last_alloc_size;
    int catch_frames;
    int fail_wmem_init;      // n > 0: the n-th next jit_wmem_init fails
    int iface_fails;
    int reconcile_from = -1, reconcile_to = -1, reconcile_bytes;
    reg_operand last_cmp_a, last_cmp_b;
    const char* conv_generator;   // the int/long-to-float generator last called
    cg_operands conv_ops;         // and its operands
    int broken_invariant_pass;    // nonzero: gen_op2_III's invariant fails in this pass
};
extern fake_state fakes;

// A method of blocks 0 (entry), 1..n (the body, in DFS order) and n+1 (exit).
struct test_method {
    classblock cb;
    methodblock mb;
    method_compile_context m;
    std::vector<bbattr*> blocks;
    std::vector<u4> dfs;
    std::vector<std::vector<quadruple*>> quads;
    std::vector<std::vector<u4>> succ;
};

test_method* make_method(int body_blocks);
quadruple* add_quad(test_method* t, int block, u1 opcode, u4 value = 0, u2 count = 0);
quadruple* add_branch(test_method* t, int block, u1 opcode, u2 cond, u4 target, u2 cmp_value);
void set_succ(test_method* t, int block, std::vector<u4> succ);
void finish_method(test_method* t);   // wires catbl/succ arrays and counts
int run_int(const test_method* t);     // calls the committed code as int f(void)
u1* code_start(const test_method* t);
u4 code_len(const test_method* t);

#endif
