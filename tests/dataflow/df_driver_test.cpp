// The two optimizer pass drivers on real methods, run as the compile
// pipeline runs them: the call-graph resolution, the front end, the bytecode
// driver (which adds the entry pad and renumbers), the stack pre-allocation
// and the quadruple driver, first under ORVA_COMPILEOPT=NALL and then with
// every option on.  Every optional pass a driver calls goes through its wrap
// (df_pass_wraps.cpp), which logs it and runs it; the tests of the drivers'
// own sequencing stand the passes in (reset_stubbed) so that only the drivers
// decide what runs.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <functional>

#include <string>
#include <vector>

#include "df_pass_wraps.h"
#include "df_graph.h"
#include "df_vm_env.h"
#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "dataflow/df_operand.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"
#include "loop/loop.h"

namespace {

struct option_scope {
    u4 saved[3];
    option_scope(u4 w1, u4 w2, u4 w3)
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        compile_option_flag = w1;
        compile_option2_flag = w2;
        compile_option3_flag = w3;
    }
    ~option_scope()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
    }
};

bool is_pad(const bbattr* b)
{
    return b->quad_count == 1 && b->catbl[0]->opcode == OPC_OTHER
           && (b->catbl[0]->subcode & QS_KIND_MASK) == OTHER_NOP_DELETED;
}

// Facts every compile leaves after the bytecode driver; "" when they hold.
std::string check_after_bytecode_driver(const method_compile_context* m)
{
    u4 n = m->bb_count;
    if (n < 3)
        return "fewer than three blocks";
    if (m->bb_table[0]->succ[0] != 1 || !is_pad(m->bb_table[1]) || m->bb_table[1]->succ_count != 1)
        return "no entry pad at block 1";
    for (u4 i = 0; i < n; i++)
        if (m->bb_table[i]->id != i)
            return "block " + std::to_string(i) + " carries id " + std::to_string(m->bb_table[i]->id);
    if (m->dfs_count < 3 || m->dfs_array[0] != 0 || m->dfs_array[1] != 1 || m->dfs_array[m->dfs_count - 1] != n - 1)
        return "DFS list does not run from block 0 over the pad to the exit";
    for (u4 i = 0; i < m->dfs_count; i++)
        if (m->dfs_array[i] >= n || (m->bb_table[m->dfs_array[i]]->flags & BB_DEAD))
            return "DFS list names a dead or foreign block";
    if (mcc_cins_list(m) != nullptr)
        return "insertions left pending";
    return "";
}

// What the late passes leave, checked on every method: the chains are
// symmetric (each use-def reference names a definition of the same local
// whose def-use chain names the use back), and the live sets agree with the
// flow graph (a block's live-out holds every successor's live-in).  "" when
// they hold.
std::string check_pass_results(method_compile_context* m)
{
    if (m->state_flags & MCC_LIVENESS_UNAVAILABLE)
        return "liveness left unavailable";
    u4 nvars = m->local_count + 3u;
    auto live_word = [&](bbattr* b, bool in, u4 v) {
        const u4* f = in ? df_bb_live_in(b) : df_bb_live_out(b);
        const u4* w = nvars <= 64 ? f : reinterpret_cast<const u4*>(f[0]) + 2 * (v / 64);
        u8 word = w[0] | static_cast<u8>(w[1]) << 32;
        return (word & ABIT_llshr[v % 64]) != 0;
    };
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b->quad_count == 0 || (b->flags & BB_DEAD))
            continue;
        for (u4 k = 0; k < b->succ_count; k++) {
            bbattr* s = m->bb_table[b->succ[k]];
            if (b->succ[k] + 1 >= m->bb_count || s->quad_count == 0 || (s->flags & BB_DEAD))
                continue;
            for (u4 v = 0; v < nvars; v++)
                if (live_word(s, true, v) && !live_word(b, false, v))
                    return "live-in of block " + std::to_string(b->succ[k]) + " missing from live-out of "
                           + std::to_string(i);
        }
    }
    if (m->state_flags & MCC_REACHDEF_STALE)
        return "";
    auto quad_at = [&](quad_ref r) -> quadruple* {
        u4 blk = quad_ref_block(r), idx = quad_ref_index(r);
        if (blk == 0 || blk >= m->bb_count || idx >= m->bb_table[blk]->quad_count)
            return nullptr;
        return m->bb_table[blk]->catbl[idx];
    };
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            quadruple* q = b->catbl[k];
            if (df_deleted(q))
                continue;
            std::string bad;
            quad_ref use = make_quad_ref(i, k);
            df_for_each_source(q, [&](df_operand* o) {
                if (!df_is_local(o) || !bad.empty())
                    return;
                df_for_each_ref(o, [&](quad_ref r) {
                    if (quad_ref_block(r) == 0)
                        return;
                    quadruple* d = quad_at(r);
                    if (d == nullptr || !df_is_local(df_opnd(&d->result)))
                        bad = "use-def reference to no definition";
                    else if (d->result.number != o->number && d->result.number + 1 != o->number)
                        bad = "use-def reference to a definition of another local";
                    bool back = false;
                    if (d != nullptr)
                        df_for_each_ref(df_opnd(&d->result), [&](quad_ref u) { back |= u == use; });
                    if (!back && bad.empty())
                        bad = "definition does not name its use";
                });
            });
            if (!bad.empty())
                return bad + " at block " + std::to_string(i) + " quadruple " + std::to_string(k);
        }
    }
    return "";
}

// The pipeline's phases up to the code generator; the failing phase or "".
std::string front_half(EE* ee, methodblock* mb, int* error)
{
    method_compile_context storage;
    memset(&storage, 0, sizeof storage);
    storage.mb = mb;
    method_compile_context* m = &storage;
    method_unresolved_info info;
    initialize_method_unresolved_info(&info);
    resolve_method_call_graph(mb, &info, ee);
    std::string why;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0) {
        free_method_unresolved_info(&info);
        return "context";
    }
    m->unresolved_info = &info;
    m->state_flags &= ~MCC_QUAD_FORM;
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    *error = QOPT_ERR_PRESET;
    if (JITTraverseByteCode(m, ee, 0) != 0) {
        why = "front end";
    } else if (bytecode_optimization(m, 0, ee) != 1) {
        why = "bytecode driver";
    } else if (!(why = check_after_bytecode_driver(m)).empty()) {
    } else {
        jit_wmem_reset(m->pool2);
        if (m->max_stack == 0)
            for (u4 i = 1; i + 1 < m->bb_count; i++)
                for (u4 q = 0; q < m->bb_table[i]->quad_count; q++) {
                    m->bb_table[i]->catbl[q]->result.value = 0xFFFFFFFFu;
                    m->bb_table[i]->catbl[q]->src1.value = 0xFFFFFFFFu;
                }
        if (BB_stack_regalloc(m) == 1)
            why = "stack pre-allocation";
        else if (jit_wmem_reset(m->pool2), quadruple_optimization(m, error) != 0)
            why = "quadruple driver, error " + std::to_string(*error);
        else if (!(m->state_flags & MCC_QUAD_FORM) || !(m->optimizer_byte & MCC_STAGE_STRAIGHTENED))
            why = "quadruple form not reached";
        else
            why = check_pass_results(m);
    }
    dftest::release_context(m);
    free_method_unresolved_info(&info);
    return why;
}

void class_files(const std::string& dir, const std::string& prefix, std::vector<std::string>* out)
{
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return;
    // readdir64: the 32-bit readdir fails on file systems with 64-bit inodes.
    while (dirent64* e = readdir64(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..")
            continue;
        if (n.size() > 6 && n.compare(n.size() - 6, 6, ".class") == 0)
            out->push_back(prefix + n.substr(0, n.size() - 6));
        else if (n.find('.') == std::string::npos)
            class_files(dir + "/" + n, prefix + n + "/", out);
    }
    closedir(d);
}

// Whether the prescan refused the method as its Part prescribes: a class
// constant loaded by ldc is no constant of the integer, float or string kind.
bool prescan_refused(const methodblock* mb)
{
    if (!(mb->jit_flags & MBJ_PRESCAN_REJECTED))
        return false;
    const u1* code = mb->code;
    const u4* cp = mb->clazz->constantpool;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    for (u4 pc = 0; pc < mb->code_length;) {
        u1 op = code[pc];
        if (op == 18 || op == 19 || op == 203 || op == 204) {
            u4 index = (op == 18 || op == 203) ? code[pc + 1] : mi_be16u(code + pc + 1);
            if ((tags[index] & CONSTANT_TAG_MASK) == CONSTANT_Class)
                return true;
        }
        u4 len = mi_instruction_length(code, mb->code_length, pc);
        if (len == 0)
            return false;
        pc += len;
    }
    return false;
}

void walk_all(EE* ee, const std::vector<std::string>& names, const char* label)
{
    u4 methods = 0, refused = 0;
    std::vector<std::string> failures;
    for (const std::string& name : names) {
        classblock* cb = dftest::find_class(ee, name.c_str(), false);
        if (cb == nullptr)
            continue;
        for (u4 i = 0; i < cb->methods_count; i++) {
            methodblock* mb = &cb->methods[i];
            if ((mb->access & (ACC_NATIVE | ACC_ABSTRACT)) || mb->code_length == 0)
                continue;
            methods++;
            int error = 0;
            std::string why = front_half(ee, mb, &error);
            if (why == "front end" && prescan_refused(mb)) {
                refused++;
                continue;
            }
            if (!why.empty())
                failures.push_back(name + "." + mb->name + mb->signature + ": " + why);
        }
    }
    EXPECT_GT(methods, 100u) << label;
    printf("%s: %u methods, %u refused by the prescan\n", label, methods, refused);
    EXPECT_LT(refused * 20, methods) << label;
    for (size_t i = 0; i < failures.size() && i < 40; i++)
        ADD_FAILURE() << label << ": " << failures[i];
    EXPECT_EQ(failures.size(), 0u) << label;
}

class Drivers : public testing::Test {
protected:
    void SetUp() override { DF_REQUIRE_BOOT(); }
};

} // namespace

// Every method of the class library and of the fixtures reaches the final
// quadruple form through both drivers, under NALL and with every option on.
TEST_F(Drivers, EveryMethodReachesTheFinalForm)
{
    std::vector<std::string> names;
    class_files(dftest::classes_dir(), "", &names);
    class_files(dftest::fixture_dir(), "", &names);
    ASSERT_GT(names.size(), 20u);
    dftest::run([&](EE* ee) {
        {
            option_scope nall(OPT1_NALL, OPT2_NALL, OPT3_NALL);
            walk_all(ee, names, "NALL");
        }
        {
            option_scope everything(0, 0, 0);
            walk_all(ee, names, "all on");
        }
    });
}

namespace {

// One compile of a fixture method through both drivers, with the wraps' log
// cleared first; `between` runs after the bytecode driver.
struct one_compile {
    std::string why;
    int error = 0;
    u4 state = 0;

    one_compile(EE* ee, const char* name, const char* sig,
                const std::function<void(method_compile_context*)>& between = nullptr)
    {
        methodblock* mb = dftest::find_method(dftest::find_class(ee, "DfShapes", false), name, sig);
        if (mb == nullptr) {
            why = "no method";
            return;
        }
        dftest::pass_log.clear();
        method_unresolved_info info;
        initialize_method_unresolved_info(&info);
        resolve_method_call_graph(mb, &info, ee);
        method_compile_context storage;
        memset(&storage, 0, sizeof storage);
        storage.mb = mb;
        method_compile_context* m = &storage;
        if (init_method_compile_context(&m, mb, nullptr, ee) != 0) {
            why = "context";
            free_method_unresolved_info(&info);
            return;
        }
        m->unresolved_info = &info;
        m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
        error = QOPT_ERR_PRESET;
        if (JITTraverseByteCode(m, ee, 0) != 0)
            why = "front end";
        else if (bytecode_optimization(m, 0, ee) != 1)
            why = "bytecode driver";
        else {
            jit_wmem_reset(m->pool2);
            if (between)
                between(m);
            if (BB_stack_regalloc(m) == 1)
                why = "stack";
            else if (quadruple_optimization(m, &error) != 0)
                why = "quadruple driver";
        }
        state = m->state_flags;
        dftest::release_context(m);
        free_method_unresolved_info(&info);
    }
};

// A loop nest over the entry pad, enough for the driver to count loops.
void give_one_loop(method_compile_context* m)
{
    auto* body = static_cast<loopattribute*>(jit_wmem_alloc(m->pool1, sizeof(loopattribute)));
    memset(body, 0, sizeof *body);
    body->first_id = body->last_id = body->entry_id = 1;
    auto* rec = static_cast<loop_table_record*>(jit_wmem_alloc(m->pool1, sizeof(loop_table_record)));
    memset(rec, 0, sizeof *rec);
    rec->body = body;
    rec->flags = LOOP_INVALID;
    rec->depth = 1;
    m->loop_table = static_cast<void**>(jit_wmem_alloc(m->pool1, sizeof(void*)));
    m->loop_table[0] = rec;
    m->loop_count = 1;
    mcc_loop_capacity(m) = 1;
}

}  // namespace

// The repeat cycle always runs its full count: three repetitions, four when
// the method has loops, even when no pass changed anything.
TEST_F(Drivers, RepeatCycleRunsItsFullCount)
{
    option_scope on(0, 0, OPT3_NNEWDFS);
    dftest::run([&](EE* ee) {
        dftest::reset_stubbed();
        one_compile plain(ee, "loopCall", "(I)I");
        ASSERT_EQ(plain.why, "");
        EXPECT_EQ(dftest::calls("Q_nullcheck"), 3);
        EXPECT_EQ(dftest::calls("Q_arraycheck"), 3);
        EXPECT_EQ(dftest::calls("commoning"), 3);
        EXPECT_EQ(dftest::calls("copypropa"), 0);
        // Without handlers: dead stores once in the first round and once as
        // the late refresh.
        EXPECT_EQ(dftest::calls("deadstore"), 2);
        dftest::reset_stubbed();
        one_compile looped(ee, "loopCall", "(I)I", give_one_loop);
        ASSERT_EQ(looped.why, "");
        EXPECT_EQ(dftest::calls("Q_nullcheck"), 4);
    });
}

// Commoning that changes something in the first repetition only: copy
// propagation runs in that repetition and once after the cycle.
TEST_F(Drivers, CommoningAsksForCopyPropagation)
{
    option_scope on(0, 0, OPT3_NNEWDFS);
    dftest::run([&](EE* ee) {
        dftest::reset_stubbed();
        dftest::commoning_changes_in = 0;
        one_compile c(ee, "loopCall", "(I)I");
        ASSERT_EQ(c.why, "");
        EXPECT_EQ(dftest::calls("copypropa first"), 1);
        EXPECT_EQ(dftest::calls("copypropa"), 2);
        // The in-cycle run comes right after the first commoning.
        auto& log = dftest::pass_log;
        auto first = std::find(log.begin(), log.end(), "commoning");
        ASSERT_NE(first, log.end());
        EXPECT_EQ(*(first + 1), "copypropa");
        dftest::reset_stubbed();
    });
}

// Handlers make dead stores run again after the cycle and after colouring.
TEST_F(Drivers, HandlersRequestMoreDeadStores)
{
    option_scope on(0, 0, OPT3_NNEWDFS);
    dftest::run([&](EE* ee) {
        dftest::reset_stubbed();
        one_compile c(ee, "tryCatch", "([II)I");
        ASSERT_EQ(c.why, "");
        EXPECT_EQ(dftest::calls("deadstore"), 4);
    });
}

// Each failing pass fails the driver with its own code and clears the
// quadruple-form bit; the loop optimizer fails by answering 0.
TEST_F(Drivers, ErrorCodes)
{
    struct row {
        const char* pass;
        int code;
    };
    const row rows[] = {
        {"cha_opt", 50}, {"copypropa first", 15}, {"deadstore", 16}, {"shrink", 35}, {"explicit_nullcheck", 37},
        {"Q_nullcheck", 18}, {"Q_arraycheck", 36}, {"commoning", 19}, {"movecopy", 33},
        {"bwd_copypropa", 22}, {"loopopt", 24}, {"spoptimize", 29}, {"constraint", 38}, {"rare_path", 51},
    };
    // No colouring, whose own liveness run would answer first.
    option_scope on(0, 0, OPT3_NNEWDFS | OPT3_NCOLORQUAD);
    dftest::run([&](EE* ee) {
        for (const row& r : rows) {
            SCOPED_TRACE(r.pass);
            dftest::reset_stubbed();
            dftest::failing_pass = r.pass;
            one_compile c(ee, "loopCall", "(I)I");
            EXPECT_EQ(c.why, "quadruple driver");
            EXPECT_EQ(c.error, r.code);
            EXPECT_FALSE(c.state & MCC_QUAD_FORM);
            // Nothing runs after the failing pass.
            ASSERT_FALSE(dftest::pass_log.empty());
            EXPECT_EQ(dftest::pass_log.back(), r.pass);
        }
        dftest::reset_stubbed();
    });
}

// Under NDATAFLOW the late chain passes and the meantime analysis are
// skipped and the meantime-absent mark set; the bytecode analyses are off.
TEST_F(Drivers, NoDataflowSkipsTheAnalyses)
{
    option_scope off(OPT1_NDATAFLOW, 0, OPT3_NNEWDFS);
    dftest::run([&](EE* ee) {
        dftest::reset_passes();
        one_compile c(ee, "loopCall", "(I)I");
        ASSERT_EQ(c.why, "");
        EXPECT_EQ(dftest::calls("classflow"), 0);
        EXPECT_EQ(dftest::calls("ud_du"), 0);
        EXPECT_EQ(dftest::calls("syncopt"), 0);
        EXPECT_EQ(dftest::calls("meantime"), 0);
        EXPECT_TRUE(c.state & MCC_MEANTIME_ABSENT);
        // Only the late refresh builds chains, and nothing edits the
        // quadruples after it.
        EXPECT_FALSE(c.state & MCC_REACHDEF_STALE);
    });
}

// The bytecode analyses skip small methods (at most 3 blocks and 50
// quadruples) and <clinit>; others get class flow, both null checks,
// privatization analysis, type flow and array checks.
TEST_F(Drivers, BytecodeAnalysesGate)
{
    option_scope on(0, 0, OPT3_NNEWDFS);
    dftest::run([&](EE* ee) {
        dftest::reset_passes();
        one_compile small(ee, "leaf", "(I)I");
        ASSERT_EQ(small.why, "");
        EXPECT_EQ(dftest::calls("classflow"), 0);
        dftest::reset_passes();
        one_compile big(ee, "loopCall", "(I)I");
        ASSERT_EQ(big.why, "");
        EXPECT_EQ(dftest::calls("classflow"), 1);
        EXPECT_EQ(dftest::calls("nullcheck"), 2);
        EXPECT_EQ(dftest::calls("privatize"), 1);
        EXPECT_EQ(dftest::calls("typeflow"), 1);
        EXPECT_EQ(dftest::calls("arraycheck"), 1);
        dftest::reset_passes();
        one_compile init(ee, "<clinit>", "()V");
        ASSERT_EQ(init.why, "");
        EXPECT_EQ(dftest::calls("classflow"), 0);
        dftest::reset_passes();
    });
}
