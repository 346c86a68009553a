// Stack shuffles proven by running: for every shuffle and every arrangement
// of int, long, float and double values it can meet, a method is built that
// pushes such values (made from its int arguments), runs the shuffle, stores
// the whole stack into locals and folds them into one int.  The method runs
// in our bytecode interpreter and, through the front half (front end, stack
// simulation, stack pass, conversion), in the quadruple interpreter of
// quad_interp.cpp; the results must be equal.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "../vm/classfile_builder.h"
#include "fe_vm_env.h"
#include "quad_interp.h"
#include "inline/inline.h"
#include "inline/mi_prescan.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

// Bytecodes the generated methods use.
enum : u1 {
    ILOAD = 0x15, LLOAD = 0x16, FLOAD = 0x17, DLOAD = 0x18, ISTORE = 0x36, LSTORE = 0x37, FSTORE = 0x38,
    DSTORE = 0x39, BIPUSH = 0x10, IADD = 0x60, IMUL = 0x68, DDIV = 0x6f, LSHL = 0x79, LXOR = 0x83, I2L = 0x85,
    I2F = 0x86, I2D = 0x87, L2I = 0x88, F2I = 0x8b, D2I = 0x8e, IRETURN = 0xac,
    DUP = 0x59, DUP_X1 = 0x5a, DUP_X2 = 0x5b, DUP2 = 0x5c, DUP2_X1 = 0x5d, DUP2_X2 = 0x5e, SWAP = 0x5f,
};

struct shape {
    u1 bytecode;
    const char* name;
    int copied_words;
    int skipped_words;
};

constexpr shape kShapes[] = {
    {DUP, "dup", 1, 0},         {DUP2, "dup2", 2, 0},       {DUP_X1, "dup_x1", 1, 1}, {DUP2_X1, "dup2_x1", 2, 1},
    {DUP_X2, "dup_x2", 1, 2},   {DUP2_X2, "dup2_x2", 2, 2}, {SWAP, "swap", 2, 0},
};

// Groups of values of n words, top first (no references: the quadruple
// interpreter computes with numbers only).
std::vector<std::string> groups_of(int n, bool pairs_only)
{
    if (n == 0)
        return {""};
    if (n == 1)
        return {"I", "F"};
    std::vector<std::string> out;
    if (!pairs_only)
        out = {"J", "D"};
    for (const char* p : {"II", "IF", "FI", "FF"})
        out.push_back(p);
    return out;
}

bool wide(char t) { return t == 'J' || t == 'D'; }

// Pushes value j of type t made from the arguments.
void push_value(std::vector<u1>& code, char t, int j)
{
    code.insert(code.end(), {ILOAD, static_cast<u1>(j % 3), BIPUSH, static_cast<u1>(j + 1), IADD});
    switch (t) {
    case 'I':
        break;
    case 'F':
        code.push_back(I2F);
        break;
    case 'J':
        // A long with both halves in use: (x << 33) ^ y.
        code.insert(code.end(), {I2L, BIPUSH, 33, LSHL, ILOAD, static_cast<u1>((j + 1) % 3), I2L, LXOR});
        break;
    default:
        code.insert(code.end(), {I2D, BIPUSH, 3, I2D, DDIV});
        break;
    }
}

struct built {
    std::string name;
    std::vector<u1> code;
    u2 max_stack;
    u2 max_locals;
};

// The method for one arrangement: pushes (bottom first) the skipped and the
// copied values, the shuffle, then stores the stack top first into locals 3,
// 5, ... and folds them: h = h * 31 + (int) value.
built make_method(const shape& s, const std::string& copied, const std::string& skipped, int id)
{
    built b;
    b.name = std::string("m") + std::to_string(id);
    std::string stack;      // bottom first
    for (auto it = skipped.rbegin(); it != skipped.rend(); ++it)
        stack += *it;
    for (auto it = copied.rbegin(); it != copied.rend(); ++it)
        stack += *it;
    int j = 0;
    for (char t : stack)
        push_value(b.code, t, j++);
    b.code.push_back(s.bytecode);
    std::string k(skipped.rbegin(), skipped.rend()), c(copied.rbegin(), copied.rend());
    std::string after = s.bytecode == SWAP ? std::string{c[1], c[0]} : c + k + c;
    // Store everything, top first.
    u1 local = 3;
    std::vector<std::pair<char, u1>> stored;
    for (auto it = after.rbegin(); it != after.rend(); ++it) {
        char t = *it;
        u1 op = t == 'I' ? ISTORE : t == 'F' ? FSTORE : t == 'J' ? LSTORE : DSTORE;
        b.code.insert(b.code.end(), {op, local});
        stored.push_back({t, local});
        local = static_cast<u1>(local + (wide(t) ? 2 : 1));
    }
    // h = 0, then for each stored value in order: h = h * 31 + (int) value.
    b.code.insert(b.code.end(), {BIPUSH, 0});
    for (auto [t, at] : stored) {
        b.code.insert(b.code.end(), {BIPUSH, 31, IMUL});
        u1 op = t == 'I' ? ILOAD : t == 'F' ? FLOAD : t == 'J' ? LLOAD : DLOAD;
        b.code.insert(b.code.end(), {op, at});
        if (t != 'I')
            b.code.push_back(t == 'F' ? F2I : t == 'J' ? L2I : D2I);
        b.code.push_back(IADD);
    }
    b.code.push_back(IRETURN);
    b.max_stack = 16;
    b.max_locals = local;
    return b;
}

method_compile_context* final_form(EE* ee, methodblock* mb, method_compile_context* storage, std::string* why)
{
    memset(storage, 0, sizeof *storage);
    // The call graph resolved and the unresolved references recorded, as the
    // compile driver does before it compiles.
    static method_unresolved_info info;
    free_method_unresolved_info(&info);
    initialize_method_unresolved_info(&info);
    resolve_method_call_graph(mb, &info, ee);
    storage->unresolved_info = &info;
    method_compile_context* m = storage;
    if (init_method_compile_context(&m, mb, nullptr, ee) != 0) {
        *why = "context";
        return nullptr;
    }
    m->state_flags |= MCC_MEANTIME_ABSENT | MCC_LIVENESS_UNAVAILABLE;
    if (JITTraverseByteCode(m, ee, 0) != 0)
        *why = "front end";
    else if (BB_stack_regalloc(m) != 0)
        *why = "stack pre-allocation";
    else if (generate_quadruple(m) != 0)
        *why = "conversion";
    else
        return m;
    jit_fast_compile_free_workspace(m);
    return nullptr;
}

TEST(StackShuffleRun, EveryArrangementComputesWhatTheBytecodeComputes)
{
    FE_REQUIRE_BOOT();
    u4 saved[3] = {compile_option_flag, compile_option2_flag, compile_option3_flag};
    compile_option_flag = OPT1_NALL;
    compile_option2_flag = OPT2_NALL;
    compile_option3_flag = OPT3_NALL;
    cfb::builder cls("SpShuffleRun");
    cls.major = 45;
    cls.minor = 3;
    std::vector<std::string> descriptions;
    int id = 0;
    for (const shape& s : kShapes)
        for (const std::string& c : groups_of(s.copied_words, s.bytecode == SWAP))
            for (const std::string& k : groups_of(s.skipped_words, false)) {
                built b = make_method(s, c, k, id++);
                cfb::method& m = cls.add_method(b.name, "(III)I", ACC_PUBLIC | ACC_STATIC);
                m.code = b.code;
                m.max_stack = b.max_stack;
                m.max_locals = b.max_locals;
                descriptions.push_back(std::string(s.name) + " copied=" + c + " skipped=" + k);
            }
    std::vector<u1> bytes = cls.build();
    fetest::run([&](EE* ee) {
        classblock* cb = fetest::define_class(ee, "SpShuffleRun", bytes);
        ASSERT_NE(cb, nullptr);
        const u4 inputs[][3] = {{3, 5, 7}, {0xFFFFFFF0u, 12345, 0x7FFFFFFFu}};
        u4 compared = 0;
        for (int i = 0; i < id; i++) {
            SCOPED_TRACE(descriptions[i]);
            methodblock* mb = fetest::find_method(cb, ("m" + std::to_string(i)).c_str(), "(III)I");
            ASSERT_NE(mb, nullptr);
            for (const auto& in : inputs) {
                u4 expected[2];
                ASSERT_TRUE(fetest::call_static_words(ee, mb, in, 3, expected));
                method_compile_context storage;
                std::string why;
                method_compile_context* m = final_form(ee, mb, &storage, &why);
                ASSERT_NE(m, nullptr) << why;
                quad_interp_result r = quad_interpret(m, in, 3, 100000);
                jit_fast_compile_free_workspace(m);
                ASSERT_TRUE(r.ok) << r.why;
                EXPECT_EQ(r.value[0], expected[0]);
                compared++;
            }
        }
        EXPECT_EQ(compared, 2u * 76u);
    });
    compile_option_flag = saved[0];
    compile_option2_flag = saved[1];
    compile_option3_flag = saved[2];
}

}  // namespace
