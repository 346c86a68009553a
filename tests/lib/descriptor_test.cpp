// The descriptor walk: what it yields for well-formed descriptors, where it
// stops for every kind of malformed one, and that it never reads past the
// terminating NUL (each descriptor sits at the very end of a readable page
// followed by an inaccessible one).
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "lib/descriptor.h"

namespace {

// The walk as text: each parameter's letter, ')' at the end of the list, then
// the return type's letter; '!' where the walk answers malformed.
std::string trace(const char* descriptor)
{
    std::string out;
    desc_walk w = desc_begin(descriptor);
    desc_item t = desc_next(&w);
    for (; t.kind > DK_MALFORMED; t = desc_next(&w))
        out += t.letter;
    if (t.kind == DK_MALFORMED)
        return out + '!';
    out += ')';
    // Asking again after the end keeps answering the end.
    if (desc_next(&w).kind != DK_END)
        return out + "?";
    desc_item r = desc_return(&w);
    return out + (r.kind == DK_MALFORMED ? '!' : r.letter);
}

// A copy of the descriptor that ends exactly at an inaccessible page.
class GuardedText {
public:
    GuardedText()
    {
        page_ = sysconf(_SC_PAGESIZE);
        base_ = static_cast<char*>(mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (base_ != MAP_FAILED)
            mprotect(base_ + page_, page_, PROT_NONE);
    }
    ~GuardedText()
    {
        if (base_ != MAP_FAILED)
            munmap(base_, 2 * page_);
    }
    bool ok() const { return base_ != MAP_FAILED; }
    const char* place(const char* text)
    {
        size_t n = strlen(text) + 1;
        char* at = base_ + page_ - n;
        memcpy(at, text, n);
        return at;
    }

private:
    long page_;
    char* base_;
};

struct walk_row {
    const char* descriptor;
    const char* walk;       // trace() of it
    int words;              // parameter words of a well-formed descriptor
};

const walk_row kRows[] = {
    // Well formed.
    {"()V", ")V", 0},
    {"(IJ[Ljava/lang/String;D)V", "IJ[D)V", 6},
    {"(BCSZF)Z", "BCSZF)Z", 5},
    {"([[J[[[Ljava/lang/Object;La;)[I", "[[L)[", 3},
    {"(J)Ljava/lang/String;", "J)L", 2},
    {"()[[D", ")[", 0},
    // Missing '('.
    {"IJ)V", "!", -1},
    {"", "!", -1},
    {nullptr, "!", -1},
    // Unterminated or empty class name.
    {"(ILjava/lang/String)V", "I!", -1},
    {"(Ljava", "!", -1},
    {"(L;)V", "!", -1},
    {"()Ljava/lang/String", ")!", -1},
    // '[' not followed by a type.
    {"([)V", "!", -1},
    {"(I[", "I!", -1},
    {"([V)V", "!", -1},
    {"()[V", ")!", -1},
    {"()[", ")!", -1},
    {"(I[[;)V", "I!", -1},
    // Unknown letter, a 'V' parameter included.
    {"(Q)V", "!", -1},
    {"(IV)V", "I!", -1},
    {"()Q", ")!", -1},
    // Missing ')'.
    {"(", "!", -1},
    {"(IJ", "IJ!", -1},
    // Nothing after ')'.
    {"()", ")!", -1},
    {"(I)", "I)!", -1},
    // Bytes after the return type.
    {"()VV", ")!", -1},
    {"(I)La;I", "I)!", -1},
    {"()I)", ")!", -1},
};

TEST(Descriptor, WalkTable)
{
    GuardedText guard;
    ASSERT_TRUE(guard.ok());
    for (const walk_row& r : kRows) {
        const char* d = r.descriptor != nullptr ? guard.place(r.descriptor) : nullptr;
        SCOPED_TRACE(r.descriptor != nullptr ? r.descriptor : "(null)");
        EXPECT_EQ(trace(d), r.walk);
        EXPECT_EQ(desc_well_formed(d), r.words >= 0);
        EXPECT_EQ(desc_return_of(d).kind == DK_MALFORMED, r.words < 0);
        if (r.words < 0)
            continue;
        int words = 0;
        desc_walk w = desc_begin(d);
        for (desc_item t = desc_next(&w); t.kind > DK_MALFORMED; t = desc_next(&w))
            words += t.words;
        EXPECT_EQ(words, r.words);
    }
}

// Kinds and word counts of every type, as parameter and as return type.
TEST(Descriptor, KindsAndWords)
{
    struct { const char* type; u1 kind; u1 words; } rows[] = {
        {"I", DK_INT, 1},   {"J", DK_LONG, 2},  {"F", DK_FLOAT, 1},   {"D", DK_DOUBLE, 2},
        {"B", DK_BYTE, 1},  {"C", DK_CHAR, 1},  {"S", DK_SHORT, 1},   {"Z", DK_BOOLEAN, 1},
        {"La/B;", DK_REF, 1}, {"[D", DK_REF, 1}, {"[[La;", DK_REF, 1},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.type);
        std::string d = std::string("(") + r.type + ")" + r.type;
        desc_walk w = desc_begin(d.c_str());
        desc_item p = desc_next(&w);
        EXPECT_EQ(p.kind, r.kind);
        EXPECT_EQ(p.words, r.words);
        EXPECT_EQ(p.letter, r.type[0]);
        EXPECT_EQ(desc_is_float(p.kind), r.kind == DK_FLOAT || r.kind == DK_DOUBLE);
        desc_item ret = desc_return(&w);
        EXPECT_EQ(ret.kind, r.kind);
        EXPECT_EQ(ret.words, r.words);
    }
    desc_item v = desc_return_of("()V");
    EXPECT_EQ(v.kind, DK_VOID);
    EXPECT_EQ(v.words, 0);
}

} // namespace
