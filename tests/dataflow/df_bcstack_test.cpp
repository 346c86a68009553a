// The simulated operand stack of the bytecode analyses: the shuffles of the
// dup family and swap with their marks, and the stack's answers to shapes it
// cannot take (too few slots, no room, half of a two-slot value), which must
// leave an empty stack rather than slots of the wrong values.
#include <gtest/gtest.h>

#include <string>

#include "dataflow/df_bcstack.h"

namespace {

struct test_slot {
    s4 value;
    u4 two;
    u4 marked;
    void mark() { marked = 1; }
};

struct fixture {
    test_slot room[6];
    abstract_stack<test_slot> st{0, room, 6};

    void fill(const std::string& values)
    {
        st.clear();
        for (char c : values)
            st.push(test_slot{c - '0', 0, 0});
    }
    std::string values() const
    {
        std::string s;
        for (s4 i = 0; i < st.depth; i++)
            s += static_cast<char>('0' + room[i].value);
        return s;
    }
    std::string marks() const
    {
        std::string s;
        for (s4 i = 0; i < st.depth; i++)
            s += room[i].marked ? 'm' : '.';
        return s;
    }
};

struct shuffle_case {
    const char* name;
    void (abstract_stack<test_slot>::*op)();
    const char* before;
    const char* after;      // "" = the stack was emptied
    const char* marks;
};

TEST(BytecodeStack, ShufflesMoveAndMarkTheirSlots)
{
    const shuffle_case cases[] = {
        {"dup", &abstract_stack<test_slot>::dup, "12", "122", ".mm"},
        {"dup_x1", &abstract_stack<test_slot>::dup_x1, "912", "9212", ".mmm"},
        {"dup_x2", &abstract_stack<test_slot>::dup_x2, "9123", "93123", ".mmmm"},
        {"dup2", &abstract_stack<test_slot>::dup2, "912", "91212", ".mmmm"},
        {"dup2_x1", &abstract_stack<test_slot>::dup2_x1, "123", "23123", "mmmmm"},
        {"dup2_x2", &abstract_stack<test_slot>::dup2_x2, "1234", "341234", "mmmmmm"},
        {"swap", &abstract_stack<test_slot>::swap, "912", "921", ".mm"},
        // Too few slots, or no room: the stack empties.
        {"dup empty", &abstract_stack<test_slot>::dup, "", "", ""},
        {"dup full", &abstract_stack<test_slot>::dup, "123456", "", ""},
        {"dup2 one free", &abstract_stack<test_slot>::dup2, "12345", "", ""},
        {"dup_x1 one slot", &abstract_stack<test_slot>::dup_x1, "1", "", ""},
        {"dup_x2 two slots", &abstract_stack<test_slot>::dup_x2, "12", "", ""},
        {"dup2_x1 two slots", &abstract_stack<test_slot>::dup2_x1, "12", "", ""},
        {"dup2_x2 three slots", &abstract_stack<test_slot>::dup2_x2, "123", "", ""},
        {"swap one slot", &abstract_stack<test_slot>::swap, "1", "", ""},
    };
    for (const shuffle_case& c : cases) {
        fixture f;
        f.fill(c.before);
        (f.st.*c.op)();
        EXPECT_EQ(f.values(), c.after) << c.name;
        EXPECT_EQ(f.marks(), c.marks) << c.name;
    }
}

TEST(BytecodeStack, PopsRefuseHalvesOfTwoSlotValues)
{
    fixture f;
    f.fill("1");
    EXPECT_TRUE(f.st.push2(test_slot{7, 0, 0}));
    EXPECT_EQ(f.st.depth, 3);
    EXPECT_EQ(f.room[1].two, 1u);
    EXPECT_EQ(f.room[2].two, 1u);
    // The upper half of a long cannot be popped as one value.
    EXPECT_EQ(f.st.pop(), nullptr);
    EXPECT_EQ(f.st.depth, 0);

    f.fill("1");
    f.st.push2(test_slot{7, 0, 0});
    test_slot* low = f.st.pop2();
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->value, 7);
    ASSERT_NE(f.st.pop(), nullptr);
    EXPECT_EQ(f.st.pop(), nullptr);         // empty stays empty
    EXPECT_EQ(f.st.depth, 0);

    // pop2 of a single slot, and push2 with one free slot, empty the stack.
    f.fill("1");
    EXPECT_EQ(f.st.pop2(), nullptr);
    EXPECT_EQ(f.st.depth, 0);
    f.fill("12345");
    EXPECT_FALSE(f.st.push2(test_slot{7, 0, 0}));
    EXPECT_EQ(f.st.depth, 0);
}

TEST(BytecodeStack, PopNAnswersTheDeepestDroppedSlot)
{
    fixture f;
    f.fill("1234");
    test_slot* s = f.st.pop_n(3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->value, 2);
    EXPECT_EQ(f.values(), "1");
    EXPECT_EQ(f.st.pop_n(0), nullptr);
    EXPECT_EQ(f.values(), "1");
    EXPECT_EQ(f.st.pop_n(2), nullptr);      // more than the stack holds
    EXPECT_EQ(f.st.depth, 0);
    // A two-slot deepest value is dropped without an answer.
    f.fill("1");
    f.st.push2(test_slot{7, 0, 0});
    f.st.push(test_slot{3, 0, 0});
    EXPECT_EQ(f.st.pop_n(3), nullptr);
    EXPECT_EQ(f.values(), "1");
}

TEST(BytecodeStack, ForgetClearsOnlyTheNamedSlots)
{
    fixture f;
    f.fill("1213");
    f.st.forget_if([](const test_slot& s) { return s.value == 1; }, [](test_slot& s) { s.value = 0; });
    EXPECT_EQ(f.values(), "0203");
}

}  // namespace
