// Compile options, per-method filters, name patterns, the debug selector's
// name filters, the hex masks and the compile history.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "driver/driver.h"

namespace {

void reset_words()
{
    compile_option_flag = compile_option2_flag = compile_option3_flag = 0;
}

struct words {
    u4 w1, w2, w3;
};

words parse(const char* text)
{
    reset_words();
    jit_setup_compile_options(text);
    return {compile_option_flag, compile_option2_flag, compile_option3_flag};
}

bool pattern_matches(const char* pattern, const char* name)
{
    name_pattern* p = compile_pattern(pattern, static_cast<int>(strlen(pattern)));
    int r = is_match(p, name);
    free_pattern(p);
    return r != 0;
}

} // namespace

TEST(OptionWords, NamesSetTheirBits)
{
    struct {
        const char* text;
        u4 w1, w2, w3;
    } const rows[] = {
        {"NQCOPYPROPA:NCHA", 0, 0x801, 0},
        {"NALL", 0x75FFFFFE, 0xFFEFFFFF, 0xFFFFFFFF},
        {"NALL+I2J", 0x75FFFFFE, 0xFFEFFBFF, 0xFFFFFFFF},
        {" ;\tNINLINING:\nSCHEDULE", 0x02000002, 0, 0},    // blanks, tabs, newlines, ';' before a token
        {"NINL:NINLININGX:nothing", 0, 0, 0},              // whole names only
        {"NQOPTIMIZE:NBUILTIN:COMPILING", 0x80000000, 0x7101F800, 0x10},
        {"UNWIND_STACK", 0, 0x100000, 0},
        {"", 0, 0, 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        words w = parse(r.text);
        EXPECT_EQ(w.w1, r.w1);
        EXPECT_EQ(w.w2, r.w2);
        EXPECT_EQ(w.w3, r.w3);
    }
    reset_words();
    jit_setup_compile_options(nullptr);
    EXPECT_EQ(compile_option_flag, 0u);
}

TEST(OptionWords, DebugSelectorRows)
{
    EXPECT_STREQ(skipsubopt_array[1], "NMMI2JIT");
    EXPECT_STREQ(skipsubopt_array[17], "DEBUGLOOP");
    EXPECT_STREQ(skipsubopt_array[18], "NBCOPT");
    EXPECT_STREQ(skipsubopt_array[37], "NSHRINKVAR");
    EXPECT_STREQ(skipsubopt_array[50], "@NCHA");
    EXPECT_STREQ(skipsubopt_array[97], "NDFSNEW");
    EXPECT_STREQ(skipsubopt_array[108], "NOT_UESD");
    EXPECT_STREQ(skipsubopt_array[110], "NQCLSINIT");
    EXPECT_STREQ(skipsubopt_array[113], "NOT_USED");
    // Every other bit row carries the name of that bit.
    const option_name* tables[3] = {option_names_word1, option_names_word2, option_names_word3};
    const int counts[3] = {option_names_word1_count, option_names_word2_count, option_names_word3_count};
    for (int row = 18; row <= 113; row++) {
        int bit = row - 18;
        const char* expected = nullptr;
        for (int i = 0; i < counts[bit / 32]; i++)
            if (tables[bit / 32][i].mask == 1u << (bit % 32))
                expected = tables[bit / 32][i].name;
        if (row == 37 || row == 50 || row == 97 || expected == nullptr)
            continue;
        EXPECT_STREQ(skipsubopt_array[row], expected) << "row " << row;
    }
}

struct filter_case {
    const char* options;
    const char* class_name;
    const char* method;
    const char* signature;
    const char* query;
    int active;
};

TEST(MethodOptions, FiltersSelectMethods)
{
    const filter_case cases[] = {
        {"NINLINING{java/lang/*}{*}", "java/lang/String", "length", "()I", "NINLINING", 1},
        {"NINLINING{java/lang/*}{*}", "java/util/Vector", "size", "()I", "NINLINING", 0},
        {"NINLINING{*}{foo(I)V}", "A", "foo", "(I)V", "NINLINING", 1},
        {"NINLINING{*}{foo(I)V}", "A", "foo", "(J)V", "NINLINING", 0},
        {"NINLINING{*}{foo(I)V}", "A", "bar", "(I)V", "NINLINING", 0},
        {"NINLINING{^java/*}{*}", "java/lang/String", "x", "()V", "NINLINING", 0},
        {"NINLINING{^java/*}{*}", "Foo", "x", "()V", "NINLINING", 1},
        {"NCHA{Foo}{bar}", "Other", "baz", "()V", "NCHA", 1},               // global-only
        {"NINLINING{A}{x}{B}{y}", "B", "y", "()V", "NINLINING", 1},         // second group
        {"NINLINING{A}{x}{B}{y}", "A", "y", "()V", "NINLINING", 0},
        {"NINLINING{}{x}", "A", "x", "()V", "NINLINING", 0},                // empty class pattern
        {"NINLINING", "A", "x", "()V", "NINLINING", 1},                     // no filter: always
        {"NINLINING", "A", "x", "()V", "NINL", 0},                          // whole names
        {"NINLINING:NTITLE", "A", "x", "()V", "NINLININGX", 0},
        {"NTITLE: NINLINING", "A", "x", "()V", "NINLINING", 0},             // a blank is part of the name
        {"NTITLE: NINLINING", "A", "x", "()V", " NINLINING", 1},
        {"SKIP{Demo}{run}", "Demo", "run", "()V", "SKIP", 1},
        {"SKIP{Demo}{run}", "Demo", "walk", "()V", "SKIP", 0},
    };
    for (const filter_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.options << " " << c.class_name << "." << c.method << c.signature
                                        << " ? " << c.query);
        jit_reset_method_options();
        setCompileOptions(c.options);
        EXPECT_EQ(optionsSet, 1);
        activateOptions(c.class_name, c.method, c.signature);
        EXPECT_EQ(queryOption(c.query), c.active);
    }
    jit_reset_method_options();
}

TEST(MethodOptions, ActiveOptionsOrTheirBits)
{
    jit_reset_method_options();
    setCompileOptions("NALL{Hot}{*}:NQCOPYPROPA:SCHEDULE:UNWIND_STACK");
    u4 w1 = 0, w2 = 0, w3 = 0;
    activateOptions("Cold", "m", "()V");
    jit_apply_method_options(&w1, &w2, &w3);
    EXPECT_EQ(w1, 0u);          // SCHEDULE is not a per-method bit
    EXPECT_EQ(w2, 0x800u);      // nor is UNWIND_STACK
    EXPECT_EQ(w3, 0u);
    activateOptions("Hot", "m", "()V");
    jit_apply_method_options(&w1, &w2, &w3);
    EXPECT_EQ(w1, 0x75FFFFFEu);
    EXPECT_EQ(w2, 0xFFEFFFFFu);
    EXPECT_EQ(w3, 0xFFFFFFFFu);
    jit_reset_method_options();
}

TEST(MethodOptions, SpewListsTheTable)
{
    jit_reset_method_options();
    setCompileOptions("NINLINING{A}{b}");
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    spewOptions(f, 1);
    fclose(f);
    EXPECT_STREQ(text, "Global Options:\n\tNINLINING{A}{b}\n");
    free(text);
    jit_reset_method_options();
}

TEST(Patterns, Table)
{
    struct {
        const char* pattern;
        const char* name;
        bool match;
    } const rows[] = {
        {"a?c", "ac", false}, {"a?c", "abc", true},   {"a*c", "ac", true},      {"a*c", "abbc", true},
        {"a*c", "abcd", false}, {"*", "", true},      {"?", "", false},         {"*?", "x", true},
        {"a*b*c", "axxbyyc", true}, {"a*b*c", "axxbyy", false}, {"[a-c]x", "bx", true}, {"[c-a]x", "bx", true},
        {"[^a-c]x", "bx", false}, {"[^a-c]x", "dx", true}, {"[a-]", "-", true},  {"\\*", "*", true},
        {"\\*", "a", false},    {"foo|bar", "bar", true}, {"foo:bar", "foo", true}, {"foo;bar", "foo;bar", true},
        {"*;x", "x", true},     {"^java/*", "java/lang/Object", false}, {"^java/*", "Foo", true},
        {"java/lang/*", "java/lang/String", true}, {"java/lang/*", "java/langX", false},
        {"[]", "a", false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.pattern << " ~ " << r.name);
        EXPECT_EQ(pattern_matches(r.pattern, r.name), r.match);
    }
}

TEST(Patterns, HashedLookupOfManyNames)
{
    jit_reset_method_options();
    std::string text;
    for (int i = 0; i < 300; i++)
        text += "OPTION_NUMBER_" + std::to_string(i * 7919) + ":";
    setCompileOptions(text.c_str());
    for (int i = 0; i < 300; i++)
        EXPECT_EQ(queryOption(("OPTION_NUMBER_" + std::to_string(i * 7919)).c_str()), 1);
    EXPECT_EQ(queryOption("OPTION_NUMBER_"), 0);
    EXPECT_EQ(hasher("", 0), 0u);
    EXPECT_EQ(hasher("NCHA", 4), hasher("NCHA", 4));
    jit_reset_method_options();
}

TEST(NameFilters, SkipAndStopNames)
{
    struct {
        const char* skip_class;
        const char* skip_method;
        const char* stop_method;
        const char* class_name;
        const char* method;
        int match;
    } const rows[] = {
        {"java/lang/String", nullptr, nullptr, "java/lang/String", "x", 1},
        {"java/lang/String", nullptr, nullptr, "java/lang/StringBuffer", "x", 0},
        {"java/lang/S*", nullptr, nullptr, "java/lang/StringBuffer", "x", 1},
        {"java/lang/S*", nullptr, nullptr, "java/lang/Object", "x", 0},
        {"Foo[a-m]", nullptr, nullptr, "Foobar", "x", 1},
        {"Foo[a-m]", nullptr, nullptr, "Foozap", "x", 0},
        {"Foo[a-m]", nullptr, nullptr, "Foo", "x", 0},
        {"Demo", "run", nullptr, "Demo", "run", 1},
        {"Demo", "run", nullptr, "Demo", "walk", 0},
        {nullptr, nullptr, "run", "Any", "run", 1},
        {nullptr, nullptr, "run", "Any", "runner", 0},
        {nullptr, nullptr, nullptr, "Any", "run", 0},
        {"", nullptr, nullptr, "", "x", 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.skip_class ? r.skip_class : "-") << " "
                                        << (r.skip_method ? r.skip_method : "-") << " "
                                        << (r.stop_method ? r.stop_method : "-") << " vs " << r.class_name << "."
                                        << r.method);
        jit_skipsubopt_init(r.skip_class, r.skip_method, nullptr, nullptr, r.stop_method);
        EXPECT_EQ(matching_skipcbname_skipmbname(r.class_name, r.method), r.match);
    }
    jit_skipsubopt_init(nullptr, nullptr, "OFF", nullptr, nullptr);
    EXPECT_EQ(skipsubopt, SKIPSUB_OFF);
    jit_skipsubopt_init(nullptr, nullptr, "NCHA", nullptr, nullptr);   // row 50 is "@NCHA"
    EXPECT_EQ(skipsubopt, 0);
    jit_skipsubopt_init(nullptr, nullptr, "NSCHEDULE", nullptr, nullptr);
    EXPECT_EQ(skipsubopt, 18 + 26);
    jit_skipsubopt_init(nullptr, nullptr, nullptr, nullptr, nullptr);
}

TEST(HexMasks, DigitsAndOtherCharacters)
{
    EXPECT_EQ(parse_hex_option_mask(0x55, nullptr), 0x55u);
    EXPECT_EQ(parse_hex_option_mask(0x55, "1g2"), 0x102u);
    EXPECT_EQ(parse_hex_option_mask(0, "fF"), 0xFFu);
    EXPECT_EQ(parse_hex_option_mask(0, "80000000"), 0x80000000u);
    EXPECT_EQ(parse_hex_option_mask(0, "0000000000000012345"), 0x12u);     // at most 16 characters
}

TEST(History, FileHeaderAppendAndStreams)
{
    char dir[] = "/tmp/orva_hist_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/log.txt";
    jit_hist_initialize(path.c_str());
    ASSERT_NE(hist_fp, nullptr);
    jit_hist_printf("line %d\n", 1);
    fclose(hist_fp);
    jit_hist_initialize(("+" + path).c_str());
    jit_hist_printf("line %d\n", 2);
    fclose(hist_fp);
    FILE* f = fopen(path.c_str(), "r");
    char text[512] = {};
    fread(text, 1, sizeof text - 1, f);
    fclose(f);
    std::string s(text);
    EXPECT_EQ(s.rfind("\n**** ORVA Compile History **** ", 0), 0u);
    EXPECT_NE(s.find("line 1\n"), std::string::npos);
    EXPECT_NE(s.find("line 2\n"), std::string::npos);
    EXPECT_NE(s.find("****", s.find("line 1")), std::string::npos);    // the append wrote a header too
    unlink(path.c_str());
    rmdir(dir);

    jit_hist_initialize("stdout");
    EXPECT_EQ(hist_fp, stdout);
    jit_hist_initialize("stderr");
    EXPECT_EQ(hist_fp, stderr);
    jit_hist_initialize("/nonexistent/dir/log");
    EXPECT_EQ(hist_fp, nullptr);
    jit_hist_initialize("");
    EXPECT_EQ(hist_fp, nullptr);
}
