// Float and double return, executed: the code up to the common epilogue
// (restore of callee-saved registers, frame release, ret; measured by
// emitting it alone and cut off) must leave exactly the result on the x87
// stack, whether the result is an uncached local, a cached local below
// other x87 values, or the operand-stack value on top.
#include <gtest/gtest.h>

#include <cstring>

#include "regman/reg_test_util.h"
#include "codegen/gen/gen_arith.h"
#include "codegen/glue/gen_glue.h"
#include "codegen/regman/reg_manager.h"
#include "codegen/regman/reg_records.h"

namespace {

const u4 BUSY_VALID = SW(RS_ASSIGNED) | SW(RS_BUSY) | SW(RS_VALID);

void put_fslot(codegen_context* cg, s4 counter, register_entry e, u4 status)
{
    int s = fp_slot(counter);
    CUR(cg)->fent[s] = e;
    CUR(cg)->init_fent[s] = e;
    sw_put(CUR(cg)->fmask, s, status);
    sw_put(CUR(cg)->init_fmask, s, status);
}

// Bytes of the tail every return shares.
long tail_length()
{
    static rm_fixture t;
    rm_setup(&t, 4, 8);
    u1* p = t.cg.code;
    restore_callee_saved_regs(&t.cg);
    gen_frame_deallocation(&t.cg);
    _gen_ret(&t.cg);
    return t.cg.code - p;
}

}  // namespace

TEST(GenFreturn, ResultAloneOnTheX87Stack)
{
    static rm_fixture f;
    struct {
        const char* what;
        int cached;           // 0 none; 1 locals 3, 4 and a stack double 42.5 on top
        reg_operand v;
        double want;
    } cases[] = {
        {"uncached float local", 0, local_op(2, 'F'), 1002.0},
        {"cached local below the top", 1, local_op(3, 'F'), 1003.0},
        {"cached local just below the top", 1, local_op(4, 'F'), 1004.0},
        {"operand-stack value on top", 1, stack_op(0, 0, 'D'), 42.5},
    };
    const long tail = tail_length();  // before the fixture: the fixtures share a code buffer
    for (auto& c : cases) {
        rm_setup(&f, 4, 8);
        std::vector<double> start;
        if (c.cached) {
            put_fslot(&f.cg, 0, {RK_LOCAL, RT_FLOAT, 0, 3, nullptr}, BUSY_VALID);
            put_fslot(&f.cg, 1, {RK_LOCAL, RT_FLOAT, 0, 4, nullptr}, BUSY_VALID);
            put_fslot(&f.cg, 2, {RK_STACK, RT_DOUBLE, 0, 0, nullptr}, BUSY_VALID);
            CUR(&f.cg)->fp_stack_count = 1;
            fp_top(&f.cg) = 3;
            fp_cache_count(&f.cg) = 2;
            start = {1003.0, 1004.0, 42.5};
        }
        quadruple q;
        std::memset(&q, 0, sizeof q);
        quadruple* qp = &q;
        cg_operands o;
        std::memset(&o, 0, sizeof o);
        o.r[2] = c.v;
        ASSERT_EQ(gen_method_freturn(&f.cg, &qp, &o), 0) << c.what;
        std::string hex = emitted_hex(&f);
        EXPECT_EQ(hex.substr(hex.size() - 2), "C3") << c.what << ": " << hex;
        f.cg.code -= tail;
        machine in = {}, out;
        for (int k = 0; k < 64; k++)
            in.frame[k] = float_bits(1000.0f + (float)k);
        in.fp = start;
        rm_run(&f, in, &out, 1);
        ASSERT_EQ(out.fp.size(), 1u) << c.what;
        EXPECT_EQ(out.fp[0], c.want) << c.what << ": " << hex;
        EXPECT_EQ((out.fpu_status >> 11) & 7, 0) << c.what << ": stack not empty after the result, " << hex;
    }
}
