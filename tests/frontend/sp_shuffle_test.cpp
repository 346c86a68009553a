// Stack shuffle rewriting, checked against the JVM's definition of each
// shuffle: for every shuffle and every arrangement of value categories it
// can meet (int and reference words told apart), the moves the stack pass
// writes are executed on two model stacks (integer-class words, floating
// values) and the result is compared with the JVM stack after the shuffle.
// The form code given to the pass is built here from the values, the way the
// stack simulation describes them, not from the rewriting's own table.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fe_vm_env.h"
#include "sp_test_util.h"

namespace {

using namespace sptest;

struct value {
    char t;     // I int, A reference, J long, F float, D double
    int id;
};

bool int_class(char t) { return t == 'I' || t == 'A' || t == 'J'; }

// A slot of a model stack: the value it holds and which of its words.
struct word {
    int id = -1;
    int half = 0;
    char t = 0;
    bool operator==(const word& o) const { return id == o.id && half == o.half && t == o.t; }
};

void project(const std::vector<value>& stack, std::vector<word>& ints, std::vector<word>& floats)
{
    ints.clear();
    floats.clear();
    for (const value& v : stack) {
        if (v.t == 'J') {
            ints.push_back({v.id, 0, 'J'});
            ints.push_back({v.id, 1, 'J'});
        } else if (int_class(v.t)) {
            ints.push_back({v.id, 0, v.t});
        } else {
            floats.push_back({v.id, 0, v.t});
        }
    }
}

// Groups of values making up n words, top value first.
std::vector<std::vector<char>> groups_of(int n, bool pairs_only)
{
    std::vector<std::vector<char>> out;
    const char one[] = {'I', 'A', 'F'};
    if (n == 1) {
        for (char a : one)
            out.push_back({a});
    } else if (n == 2) {
        if (!pairs_only) {
            out.push_back({'J'});
            out.push_back({'D'});
        }
        for (char a : one)
            for (char b : one)
                out.push_back({a, b});
    } else {
        out.push_back({});
    }
    return out;
}

u4 nibble(char t)
{
    switch (t) {
    case 'I': return 1;
    case 'A': return 5;
    case 'F': return 2;
    case 'J': return 0x33;
    default: return 0x44;
    }
}

u4 group_byte(const std::vector<char>& g)
{
    if (g.empty())
        return 0;
    if (g.size() == 1)
        return nibble(g[0]);
    return nibble(g[0]) | nibble(g[1]) << 4;    // top in the low nibble
}

struct shape {
    u1 opcode;
    const char* name;
    int copied_words;
    int skipped_words;
};

constexpr shape kShapes[] = {
    {OPC_DUP, "dup", 1, 0},       {OPC_DUP2, "dup2", 2, 0},       {OPC_DUP_X1, "dup_x1", 1, 1},
    {OPC_DUP2_X1, "dup2_x1", 2, 1}, {OPC_DUP_X2, "dup_x2", 1, 2}, {OPC_DUP2_X2, "dup2_x2", 2, 2},
    {OPC_SWAP, "swap", 2, 0},
};

std::string describe(const shape& s, const std::vector<char>& c, const std::vector<char>& k)
{
    std::string out = std::string(s.name) + " copied=";
    for (char x : c)
        out += x;
    out += " skipped=";
    for (char x : k)
        out += x;
    return out;
}

struct run_result {
    bool ok = false;
    std::string failure;
};

// Runs one configuration through dup2copy and the model stacks.
run_result check_one(EE* ee, const shape& s, const std::vector<char>& copied, const std::vector<char>& skipped,
                     std::set<const shuffle_row*>& rows_seen)
{
    run_result r;
    // JVM stack, bottom first: one int and one float below everything.
    std::vector<value> before = {{'I', 900}, {'F', 901}};
    int id = 1;
    std::vector<value> k, c;
    for (auto it = skipped.rbegin(); it != skipped.rend(); ++it)
        k.push_back({*it, id++});
    for (auto it = copied.rbegin(); it != copied.rend(); ++it)
        c.push_back({*it, id++});
    before.insert(before.end(), k.begin(), k.end());
    before.insert(before.end(), c.begin(), c.end());
    std::vector<value> after = {{'I', 900}, {'F', 901}};
    if (s.opcode == OPC_SWAP) {
        after.push_back(c[1]);
        after.push_back(c[0]);
    } else {
        after.insert(after.end(), c.begin(), c.end());
        after.insert(after.end(), k.begin(), k.end());
        after.insert(after.end(), c.begin(), c.end());
    }
    std::vector<word> ib, fb, ia, fa;
    project(before, ib, fb);
    project(after, ia, fa);

    u4 iwords = 0, fvalues = 0;
    for (const value& v : k)
        (v.t == 'J' ? iwords += 2 : int_class(v.t) ? iwords += 1 : fvalues += 1);
    for (const value& v : c)
        (v.t == 'J' ? iwords += 2 : int_class(v.t) ? iwords += 1 : fvalues += 1);
    u4 form = group_byte(copied) << 16 | group_byte(skipped) << 24;
    if (s.opcode != OPC_SWAP)
        form |= iwords | fvalues << 8;
    rows_seen.insert(find_shuffle_row(s.opcode, form));

    fake_method fm("()V", ACC_STATIC, 0);
    method_compile_context* m = new_context(&fm.mb);
    int P = static_cast<int>(ib.size()) - 1, F = static_cast<int>(fb.size()) - 1;
    int Pa = static_cast<int>(ia.size()) - 1, Fa = static_cast<int>(fa.size()) - 1;
    quadruple* q = quad(m, s.opcode, P, Pa, F, Fa);
    set_form(q, form);
    make_blocks(m, {{q}});
    if (dup2copy(m) != 0) {
        r.failure = "dup2copy failed";
        free_context(m);
        return r;
    }
    bbattr* b = m->bb_table[1];
    // Execute the moves on the two model stacks (with scratch slots above).
    std::vector<word> im = ib, fm_ = fb;
    im.resize(ib.size() + 4);
    fm_.resize(fb.size() + 4);
    bool reused = false;
    for (u4 i = 0; i < b->quad_count; i++) {
        quadruple* mv = b->catbl[i];
        if (mv == q)
            reused = true;
        int dst = static_cast<int16_t>(mv->result.number), src = static_cast<int16_t>(mv->src1.number);
        auto bad = [&](const char* what) {
            r.failure = std::string(what) + " at move " + std::to_string(i);
            return r;
        };
        switch (mv->opcode) {
        case OPC_OTHER:
            if ((mv->subcode & QS_KIND_MASK) != OTHER_NOP_DELETED)
                return bad("unexpected OPC_OTHER");
            break;
        case OPC_IMOVE:
        case OPC_AMOVE: {
            if (src < 0 || dst < 0 || src >= static_cast<int>(im.size()) || dst >= static_cast<int>(im.size()))
                return bad("word move out of range");
            char want = mv->opcode == OPC_IMOVE ? 'I' : 'A';
            if (im[src].t != want)
                return bad("word move of the wrong kind");
            im[dst] = im[src];
            break;
        }
        case OPC_LMOVE: {
            if (src < 0 || dst < 0 || src + 1 >= static_cast<int>(im.size()) || dst + 1 >= static_cast<int>(im.size()))
                return bad("long move out of range");
            if (im[src].t != 'J' || im[src].half != 0 || !(im[src + 1] == word{im[src].id, 1, 'J'}))
                return bad("long move of something else than a long");
            word lo = im[src], hi = im[src + 1];
            im[dst] = lo;
            im[dst + 1] = hi;
            break;
        }
        case OPC_FMOVE:
        case OPC_DMOVE: {
            if (src < 0 || dst < 0 || src >= static_cast<int>(fm_.size()) || dst >= static_cast<int>(fm_.size()))
                return bad("float move out of range");
            char want = mv->opcode == OPC_FMOVE ? 'F' : 'D';
            if (fm_[src].t != want)
                return bad("float move of the wrong kind");
            fm_[dst] = fm_[src];
            break;
        }
        default:
            return bad("not a move");
        }
        if (mv->opcode != OPC_OTHER) {
            u1 want = mv->opcode == OPC_IMOVE ? KB_INT : mv->opcode == OPC_AMOVE ? KB_REF
                    : mv->opcode == OPC_LMOVE ? KB_LONG : mv->opcode == OPC_FMOVE ? KB_FLOAT : KB_DOUBLE;
            if (mv->result.kind != want || mv->src1.kind != want)
                return bad("operands are not variables of the move's type");
        }
    }
    for (int i = 0; i <= Pa; i++)
        if (!(im[i] == ia[i])) {
            r.failure = "integer slot " + std::to_string(i) + " differs";
            free_context(m);
            return r;
        }
    for (int i = 0; i <= Fa; i++)
        if (!(fm_[i] == fa[i])) {
            r.failure = "float slot " + std::to_string(i) + " differs";
            free_context(m);
            return r;
        }
    bool reuses = s.opcode == OPC_DUP2 || s.opcode == OPC_DUP_X1 || s.opcode == OPC_DUP2_X1 || s.opcode == OPC_DUP2_X2;
    const shuffle_row* row = find_shuffle_row(s.opcode, form);
    if (row != nullptr && row->move_count > 0 && reused != reuses) {
        r.failure = reuses ? "the shuffle quadruple is not the last move" : "the shuffle quadruple was kept";
        free_context(m);
        return r;
    }
    if (row != nullptr && row->move_count > 0 && reuses && b->catbl[b->quad_count - 1] != q) {
        r.failure = "the last move is not the shuffle quadruple";
        free_context(m);
        return r;
    }
    u4 expect_count = row != nullptr && row->move_count > 1 ? row->move_count : 1;
    if (b->quad_count != expect_count || m->total_quad_count != expect_count) {
        r.failure = "block gained " + std::to_string(b->quad_count - 1) + " quadruples";
        free_context(m);
        return r;
    }
    free_context(m);
    r.ok = true;
    return r;
}

TEST(StackShuffle, EveryArrangementMatchesTheJvm)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE* ee) {
        std::set<const shuffle_row*> rows_seen;
        int configurations = 0;
        for (const shape& s : kShapes) {
            for (const auto& c : groups_of(s.copied_words, s.opcode == OPC_SWAP))
                for (const auto& k : groups_of(s.skipped_words, false)) {
                    configurations++;
                    run_result r = check_one(ee, s, c, k, rows_seen);
                    EXPECT_TRUE(r.ok) << describe(s, c, k) << ": " << r.failure;
                }
        }
        rows_seen.erase(nullptr);
        u4 count = 0;
        shuffle_rows(&count);
        // Every row of the table is reached by some arrangement, and every
        // arrangement found its row (a missing one fails above).
        EXPECT_EQ(rows_seen.size(), count);
        EXPECT_EQ(count, 76u);
        EXPECT_GT(configurations, 200);
    });
}

struct swap_case {
    const char* name;
    bool floats;
    int Pa_or_Fa;
    int16_t height;
    u2 max_stack;
    int16_t want_height;
    u2 want_max_stack;
};

TEST(StackShuffle, SwapRaisesTheHeightOfItsScratchSlot)
{
    FE_REQUIRE_BOOT();
    const swap_case cases[] = {
        {"ints, height at Pa+1", false, 5, 6, 6, 7, 7},
        {"ints, height above", false, 5, 7, 6, 7, 6},
        {"floats, height at Fa+1", true, 2, 3, 3, 4, 4},
        {"floats, max stack already above", true, 2, 3, 9, 4, 9},
    };
    fetest::run([&](EE*) {
        for (const swap_case& c : cases) {
            fake_method fm("()V", ACC_STATIC, 0);
            method_compile_context* m = new_context(&fm.mb);
            m->max_stack = c.max_stack;
            quadruple* q = c.floats ? quad(m, OPC_SWAP, -1, -1, c.Pa_or_Fa, c.Pa_or_Fa)
                                    : quad(m, OPC_SWAP, c.Pa_or_Fa, c.Pa_or_Fa, -1, -1);
            set_form(q, c.floats ? 0x220000u : 0x110000u);
            make_blocks(m, {{q}});
            bbattr* b = m->bb_table[1];
            (c.floats ? b->max_float_height : b->max_int_height) = c.height;
            ASSERT_EQ(dup2copy(m), 0) << c.name;
            EXPECT_EQ(c.floats ? b->max_float_height : b->max_int_height, c.want_height) << c.name;
            EXPECT_EQ(m->max_stack, c.want_max_stack) << c.name;
            free_context(m);
        }
    });
}

TEST(StackShuffle, MixedSwapAndDupOverAFloatCostNothing)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* swap = quad(m, OPC_SWAP, 3, 3, 1, 1);
        set_form(swap, 0x210000);            // int on top of a float
        quadruple* dup = quad(m, OPC_DUP_X1, 3, 4, 1, 1);
        set_form(dup, 0x02010101);           // int over a float
        quadruple* dup3 = quad(m, OPC_DUP, 3, 4, -1, -1);
        set_form(dup3, 0x10001);
        make_blocks(m, {{swap, dup, dup3}});
        bbattr* b = m->bb_table[1];
        quadruple** before = b->catbl;
        ASSERT_EQ(dup2copy(m), 0);
        // Nothing was added: the block is rewritten in place.
        EXPECT_EQ(b->catbl, before);
        ASSERT_EQ(b->quad_count, 3u);
        EXPECT_EQ(b->catbl[0]->opcode, OPC_OTHER);
        EXPECT_EQ(b->catbl[0]->subcode & QS_KIND_MASK, OTHER_NOP_DELETED);
        EXPECT_EQ(b->max_int_height, 16);
        EXPECT_EQ(b->catbl[1]->opcode, OPC_IMOVE);
        EXPECT_EQ(b->catbl[1]->result.number, 4);
        EXPECT_EQ(b->catbl[1]->src1.number, 3);
        EXPECT_EQ(b->catbl[2]->opcode, OPC_IMOVE);
        EXPECT_EQ(b->catbl[2]->result.number, 4);
        EXPECT_EQ(b->catbl[2]->src1.number, 3);
        free_context(m);
    });
}

TEST(StackShuffle, Dup2X2OfLongOverLong)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* q = quad(m, OPC_DUP2_X2, 3, 5, -1, -1);
        set_form(q, 0x33330004);
        make_blocks(m, {{q}});
        ASSERT_EQ(dup2copy(m), 0);
        bbattr* b = m->bb_table[1];
        ASSERT_EQ(b->quad_count, 3u);
        const int want[3][2] = {{4, 2}, {2, 0}, {0, 4}};
        for (int i = 0; i < 3; i++) {
            EXPECT_EQ(b->catbl[i]->opcode, OPC_LMOVE);
            EXPECT_EQ(b->catbl[i]->result.number, want[i][0]);
            EXPECT_EQ(b->catbl[i]->src1.number, want[i][1]);
        }
        EXPECT_EQ(m->total_quad_count, 3u);
        free_context(m);
    });
}

TEST(StackShuffle, DupX2OfThreeWordsGoesThroughPa)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        quadruple* q = quad(m, OPC_DUP_X2, 2, 3, -1, -1);
        set_form(q, 0x15010003);             // int over a reference over an int
        make_blocks(m, {{q}});
        ASSERT_EQ(dup2copy(m), 0);
        bbattr* b = m->bb_table[1];
        ASSERT_EQ(b->quad_count, 4u);
        EXPECT_EQ(b->catbl[0]->result.number, 3);      // Pa
        EXPECT_EQ(b->catbl[3]->src1.number, 3);
        EXPECT_EQ(b->catbl[1]->opcode, OPC_AMOVE);     // the reference moves up
        free_context(m);
    });
}

TEST(StackShuffle, UnknownFormCodeStopsThePass)
{
    FE_REQUIRE_BOOT();
    fetest::run([](EE*) {
        fake_method fm("()V", ACC_STATIC, 0);
        method_compile_context* m = new_context(&fm.mb);
        // Four ints described with an integer-word count of 3.
        quadruple* q = quad(m, OPC_DUP2_X2, 3, 5, -1, -1);
        set_form(q, 0x11110003);
        quadruple* other = quad(m, OPC_IOP2, 1, 0, -1, -1);
        make_blocks(m, {{other, q}});
        bbattr* b = m->bb_table[1];
        EXPECT_EQ(sp_count_shuffle(nullptr, q), 0u);
        testing::internal::CaptureStderr();
        EXPECT_EQ(dup2copy(m), 1);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Illegal DUP2X1!!\n");
        // Nothing was counted for it: the block was being rewritten in place.
        EXPECT_EQ(b->quad_count, 2u);
        EXPECT_EQ(m->total_quad_count, 2u);
        free_context(m);
    });
}

}  // namespace
