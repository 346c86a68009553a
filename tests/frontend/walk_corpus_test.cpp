// Every method of the Java corpus (tests/java), of the class library and of
// the front-end fixtures through the whole front half as a compile attempt
// runs it under NALL: the front-end driver, the bytecode optimization
// driver, the stack pre-allocation with the stack pass, the quadruple
// optimization driver with every step (its optional passes do nothing under
// NALL) and the block-to-DFS map.  The attempt stops where the code
// generator would start; the quadruples must then be in their final form.
//
// The walk runs twice over the corpus: on methods never executed, and after
// the corpus programs ran in our interpreter, which quickens what it executes
// (the forms a method has when it is compiled after its threshold).  This
// file sorts last among the test files, so in one process the other tests
// see the library as they would without it.
//
// A method may only fail where its bytecode has no translation: an ldc of a
// class constant has none, the front end refuses the method and it stays
// interpreted.  Any other failure names the method and the stage.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/driver.h"
#include "fe_vm_env.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "inline/inline.h"

extern int16_t opcode_length[256];

namespace {

struct nall_options {
    u4 saved[3];
    nall_options()
    {
        saved[0] = compile_option_flag;
        saved[1] = compile_option2_flag;
        saved[2] = compile_option3_flag;
        compile_option_flag |= OPT1_NALL;
        compile_option2_flag |= OPT2_NALL;
        compile_option3_flag = 0xFFFFFFFFu;
    }
    ~nall_options()
    {
        compile_option_flag = saved[0];
        compile_option2_flag = saved[1];
        compile_option3_flag = saved[2];
    }
};

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

// Length of the instruction at pc (wide and the two switches included).
u4 instruction_length(const u1* code, u4 pc)
{
    u1 op = code[pc];
    if (opcode_length[op] > 0)
        return static_cast<u4>(opcode_length[op]);
    if (op == 196)
        return code[pc + 1] == 132 ? 6 : 4;
    u4 p = (pc + 4) & ~3u;
    auto be32 = [&](u4 at) {
        return static_cast<s4>(static_cast<u4>(code[at]) << 24 | static_cast<u4>(code[at + 1]) << 16
                               | static_cast<u4>(code[at + 2]) << 8 | code[at + 3]);
    };
    if (op == 170)
        return p + 12 + 4 * static_cast<u4>(be32(p + 8) - be32(p + 4) + 1) - pc;
    if (op == 171)
        return p + 8 + 8 * static_cast<u4>(be32(p + 4)) - pc;
    return 1;
}

// Whether the method loads a class constant (ldc, ldc_w or their quick forms).
bool loads_class_constant(const methodblock* mb)
{
    const u1* code = mb->code;
    const u1* tags = reinterpret_cast<const u1*>(mb->clazz->constantpool[0]);
    for (u4 pc = 0; pc < mb->code_length; pc += instruction_length(code, pc)) {
        u1 op = code[pc];
        if (op == 18 || op == 19 || op == 203 || op == 204) {
            u4 index = (op == 18 || op == 203) ? code[pc + 1] : static_cast<u4>(code[pc + 1] << 8 | code[pc + 2]);
            if ((tags[index] & CONSTANT_TAG_MASK) == CONSTANT_Class)
                return true;
        }
    }
    return false;
}

// Front-end-only opcodes that the final form must not hold.
bool front_end_only(u1 op)
{
    return op == OPC_IINC || (op >= OPC_POP && op <= OPC_SWAP) || op == OPC_NULLCHECK_MARK || op == OPC_XSTORE
           || op == OPC_ARRAYLENGTH_MARK || op == OPC_VMPTR_DEF;
}

std::string variable_check(const char* where, const quad_operand_list_entry* e, u4 locals)
{
    for (; e != nullptr; e = e->next)
        if ((e->kind & QK_KIND_MASK) == QK_VARIABLE && e->number >= locals)
            return std::string(where) + "list variable above the numbering";
    return "";
}

// The first violation of the final form, or "".
std::string final_form_violation(const method_compile_context* m)
{
    if (!(m->state_flags & MCC_QUAD_FORM))
        return "quadruple-form bit clear";
    char buf[96];
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        const bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 k = 0; k < b->quad_count; k++) {
            const quadruple* q = b->catbl[k];
            if (q->opcount & QC_DELETED)
                continue;
            snprintf(buf, sizeof buf, "block %u quad %u opcode %u: ", i, k, q->opcode);
            if (q->opcode > OPC_LAST_GENERATED || front_end_only(q->opcode))
                return std::string(buf) + "opcode left";
            u4 nsrc = q->opcount & QC_SRC_MASK;
            const quad_operand* ops[3] = {&q->result, &q->src1, &q->src2};
            for (u4 o = 0; o < 3; o++) {
                if (o > 0 && (nsrc == QC_SRC_LIST || o > nsrc))
                    continue;
                const quad_operand* d = ops[o];
                if ((d->kind & QK_KIND_MASK) == QK_NONE && d->number != QUAD_NO_NUMBER)
                    return std::string(buf) + "operand of kind 0 with a number";
                // A counted source without a kind is a value no later pass
                // sees read (nor renumbers).
                if (o > 0 && (d->kind & QK_KIND_MASK) == QK_NONE)
                    return std::string(buf) + "counted source of kind 0";
                if ((d->kind & QK_KIND_MASK) == QK_VARIABLE && d->number >= m->local_count)
                    return std::string(buf) + "variable above the numbering";
            }
            if (nsrc == QC_SRC_LIST) {
                if (quad_list_head(q) == nullptr)
                    return std::string(buf) + "source count 3 without a list";
                std::string why = variable_check(buf, quad_list_head(q), m->local_count);
                if (!why.empty())
                    return why;
            }
        }
    }
    return "";
}

// Without an operand stack, the quadruples' four depth half-words say "empty".
void mark_no_stack_depths(method_compile_context* m)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if (b->flags & BB_DEAD)
            continue;
        for (u4 q = 0; q < b->quad_count; q++) {
            b->catbl[q]->result.value = 0xFFFFFFFFu;
            b->catbl[q]->src1.value = 0xFFFFFFFFu;
        }
    }
}

// Entry heights of the blocks and the largest heights, as the pipeline
// records them between the stack pre-allocation and the quadruple passes.
void record_block_heights(method_compile_context* m)
{
    for (u4 i = 1; i + 1 < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        if ((b->flags & BB_DEAD) || b->quad_count == 0)
            continue;
        if (m->max_stack != 0) {
            b->entry_int_height = static_cast<u2>((b->catbl[0]->result.value & 0xFFFF) + 1);
            b->entry_float_height = static_cast<u2>((b->catbl[0]->src1.value & 0xFFFF) + 1);
        }
        if (b->max_int_height > static_cast<int16_t>(m->max_int_height))
            m->max_int_height = static_cast<u2>(b->max_int_height);
        if (b->max_float_height > static_cast<int16_t>(m->max_float_height))
            m->max_float_height = static_cast<u2>(b->max_float_height);
    }
}

struct outcome {
    std::string stage;      // "" when the method reached the final form
    int error = 0;          // the quadruple optimization's error code
};

// One compile attempt of mb up to the code generator.
outcome front_half(EE* ee, methodblock* mb)
{
    outcome r;
    method_compile_context storage;
    memset(&storage, 0, sizeof storage);
    storage.mb = mb;
    // The driver's record of unresolved references (kept: the walk compiles
    // a bounded number of methods).
    auto* info = static_cast<method_unresolved_info*>(calloc(1, sizeof(method_unresolved_info)));
    initialize_method_unresolved_info(info);
    resolve_method_call_graph(mb, info, ee);
    storage.unresolved_info = info;
    method_compile_context* m = &storage;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0) {
        r.stage = "context";
        return r;
    }
    m->use_count++;
    m->state_flags &= ~(MCC_QUAD_FORM | MCC_NO_USAGE_TABLE);
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    if (JITTraverseByteCode(m, ee, 0) != 0)
        r.stage = "front end";
    else if (bytecode_optimization(m, 0, ee) == 0)
        r.stage = "bytecode optimization";
    if (r.stage.empty()) {
        jit_wmem_reset(m->pool2);
        if (m->max_stack == 0)
            mark_no_stack_depths(m);
        if (BB_stack_regalloc(m) == 1)
            r.stage = "stack pre-allocation";
    }
    if (r.stage.empty()) {
        jit_wmem_reset(m->pool2);
        record_block_heights(m);
        int error = 10;
        if (quadruple_optimization(m, &error) == 1) {
            r.stage = "quadruple optimization";
            r.error = error;
        }
    }
    if (r.stage.empty() && setup_bb_to_dfs_map(m) == 1)
        r.stage = "block-to-DFS map";
    if (r.stage.empty()) {
        std::string why = final_form_violation(m);
        if (!why.empty())
            r.stage = "final form: " + why;
    }
    if (m->pool2 != nullptr) {
        jit_wmem_free(m->pool2);
        m->pool2 = nullptr;
    }
    jit_fast_compile_free_workspace(m);
    return r;
}

struct walk_result {
    u4 methods = 0, reached = 0, class_constants = 0;
    std::vector<std::string> failures;
};

void walk_classes(EE* ee, const std::vector<std::string>& names, walk_result* out)
{
    for (const std::string& name : names) {
        classblock* cb = fetest::find_class(ee, name.c_str(), false);
        if (cb == nullptr) {
            out->failures.push_back(name + ": not loaded");
            continue;
        }
        for (u4 i = 0; i < cb->methods_count; i++) {
            methodblock* mb = &cb->methods[i];
            if ((mb->access & (ACC_NATIVE | ACC_ABSTRACT)) || mb->code_length == 0)
                continue;
            out->methods++;
            outcome r = front_half(ee, mb);
            if (r.stage.empty()) {
                out->reached++;
                continue;
            }
            if (r.stage == "front end" && loads_class_constant(mb)) {
                out->class_constants++;
                continue;
            }
            std::string what = name + "." + mb->name + mb->signature + ": " + r.stage;
            if (r.error != 0)
                what += " (error " + std::to_string(r.error) + ")";
            out->failures.push_back(what);
        }
    }
}

void expect_all_reach_final_form(const char* label, const std::vector<std::string>& names, u4 at_least)
{
    nall_options opts;
    fetest::run([&](EE* ee) {
        walk_result w;
        walk_classes(ee, names, &w);
        printf("[ %s ] %u methods: %u in final form, %u refused for an ldc of a class constant, %zu failed\n",
               label, w.methods, w.reached, w.class_constants, w.failures.size());
        EXPECT_GE(w.methods, at_least);
        for (size_t i = 0; i < w.failures.size() && i < 40; i++)
            ADD_FAILURE() << w.failures[i];
        EXPECT_EQ(w.failures.size(), 0u);
    });
}

TEST(FrontHalfCorpus, EveryCorpusMethodReachesTheFinalForm)
{
    FE_REQUIRE_BOOT();
    std::vector<std::string> names;
    class_files(FE_CORPUS_CLASSES, "", &names);
    if (names.empty())
        GTEST_SKIP() << "no Java corpus in " FE_CORPUS_CLASSES;
    expect_all_reach_final_form("corpus", names, 200);
}

// The corpus programs that run to their end without arguments, special VM
// options or a deliberate exit, a crash or a stack overflow.
constexpr const char* kQuickeningPrograms[] = {
    "ArrayOps", "Bank", "Dispatch", "Exceptions", "FloatArith", "IntArith", "Library", "MiniInterp",
    "NQueens", "Quicken", "Sieve", "Sorting", "Strings", "TextProc",
};

TEST(FrontHalfCorpus, EveryCorpusMethodReachesTheFinalFormOnceQuickened)
{
    FE_REQUIRE_BOOT();
    std::vector<std::string> names;
    class_files(FE_CORPUS_CLASSES, "", &names);
    if (names.empty())
        GTEST_SKIP() << "no Java corpus in " FE_CORPUS_CLASSES;
    u4 ran = 0;
    fetest::run([&](EE* ee) {
        // What the programs print is not the subject here.
        fflush(stdout);
        int saved = dup(1);
        int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0)
            dup2(null_fd, 1);
        for (const char* program : kQuickeningPrograms) {
            if (fetest::run_main(ee, program))
                ran++;
        }
        fflush(stdout);
        if (saved >= 0) {
            dup2(saved, 1);
            close(saved);
        }
        if (null_fd >= 0)
            close(null_fd);
    });
    EXPECT_GE(ran, 10u);
    expect_all_reach_final_form("corpus, quickened", names, 200);
}

TEST(FrontHalfCorpus, EveryLibraryAndFixtureMethodReachesTheFinalForm)
{
    FE_REQUIRE_BOOT();
    std::vector<std::string> names;
    class_files(ORVA_CLASSES_DIR, "", &names);
    class_files(FE_FIXTURE_CLASSES, "", &names);
    ASSERT_GT(names.size(), 20u);
    expect_all_reach_final_form("library", names, 500);
}

}  // namespace
