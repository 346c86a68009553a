// Front-end records: opcode attribute tables, the pc-to-block map, catch
// frames and constant-pool accessors.
#include <gtest/gtest.h>

#include <array>
#include <string.h>
#include <vector>

#include "driver/driver.h"
#include "fake_vm.h"
#include "frontend/frontend.h"
#include "inline/inline.h"

namespace {

// The attribute bit lists, transcribed independently of the opcode list.
struct range {
    int first, last;
};
const std::vector<std::vector<range>> bit_lists = {
    /* 0 */ {{1, 1}, {3, 3}, {10, 10}, {12, 12}, {19, 19}, {21, 21}, {27, 27}, {29, 29}, {35, 35}, {37, 37},
             {84, 84}, {92, 92}, {111, 112}, {115, 115}, {126, 130}, {134, 137}, {167, 167}},
    /* 1 */ {{1, 3}, {10, 12}, {19, 21}, {27, 29}, {36, 36}, {84, 84}, {92, 92}},
    /* 2 */ {{1, 4}, {10, 13}, {18, 22}, {26, 30}, {34, 34}, {36, 36}, {84, 95}, {122, 125}, {138, 138}, {146, 148}},
    /* 3 */ {{7, 7}, {17, 17}, {25, 25}, {33, 33}, {41, 41}, {53, 58}, {65, 69}, {75, 79}, {114, 114}, {117, 117},
             {149, 151}, {153, 153}, {172, 172}},
    /* 4 */ {{43, 47}, {106, 106}},
    /* 5 */ {{0, 0}, {8, 9}, {38, 39}, {43, 48}, {106, 107}, {109, 109}, {146, 148}, {155, 155}, {165, 166}},
    /* 6 */ {{122, 125}, {138, 138}},
    /* 7 */ {{6, 7}, {16, 17}, {24, 25}, {32, 33}, {40, 41}, {52, 58}, {60, 69}, {83, 83}, {108, 108}, {139, 140},
             {157, 158}},
    /* 8 */ {{6, 6}, {11, 11}, {16, 16}, {20, 20}, {24, 24}, {28, 28}, {32, 32}, {40, 40}, {60, 64}, {70, 74},
             {83, 83}, {92, 92}, {105, 105}, {113, 113}, {140, 140}, {143, 143}, {157, 158}},
    /* 9 */ {{1, 1}, {3, 5}, {8, 10}, {12, 13}, {15, 15}, {18, 19}, {21, 23}, {26, 27}, {29, 31}, {34, 35},
             {37, 39}, {43, 48}, {84, 95}, {106, 106}, {111, 112}, {115, 115}, {122, 125}, {134, 138}, {141, 142},
             {145, 148}, {165, 166}},
    /* 10 */ {{53, 59}, {172, 172}},
    /* 11 */ {{60, 64}},
    /* 12 */ {{65, 69}},
    /* 13 */ {{70, 74}},
    /* 14 */ {{75, 79}},
    /* 15 */ {{4, 5}, {8, 9}, {13, 15}, {18, 18}, {22, 23}, {30, 31}, {38, 39}, {48, 48}, {84, 95}, {141, 142},
              {148, 148}, {179, 182}},
    /* 16 */ {{126, 130}},
    /* 17 */ {{6, 6}, {16, 16}, {24, 24}, {32, 32}, {40, 40}},
    /* 18 */ {{7, 7}, {17, 17}, {25, 25}, {33, 33}, {41, 41}},
    /* 19 */ {{126, 130}},
};

// A misinfo over `length` pcs with the given leaders, live leaders and starts.
misinfo* make_misinfo(methodblock* mb, const std::vector<u4>& leaders, const std::vector<u4>& live,
                      const std::vector<u4>& starts)
{
    auto* mis = static_cast<misinfo*>(calloc(1, sizeof(misinfo)));
    mis->mb = mb;
    u4 bytes = mi_pc_vector_bytes(mb->code_length);
    mis->leaders = static_cast<u4*>(calloc(1, bytes));
    mis->live_leaders = static_cast<u4*>(calloc(1, bytes));
    mis->starts = static_cast<u4*>(calloc(1, bytes));
    for (u4 p : leaders)
        mi_set_bit(mis->leaders, p);
    for (u4 p : live)
        mi_set_bit(mis->live_leaders, p);
    for (u4 p : starts)
        mi_set_bit(mis->starts, p);
    return mis;
}

class Frontend : public testing::Test {
protected:
    void SetUp() override
    {
        fake_current_ee = nullptr;
        fake_vm_bind_and_init(fake_vm_new());
        memset(&m, 0, sizeof m);
        m.pool1 = jit_wmem_init(0);
    }
    method_compile_context m;
};

std::vector<std::pair<u4, u4>> entries(const pc2bb_entry* t, u4 n)
{
    std::vector<std::pair<u4, u4>> v;
    for (u4 i = 0; i < n; i++)
        v.push_back({t[i].block, t[i].position});
    return v;
}

} // namespace

TEST(QuadTables, AttributeWordsFollowTheBitLists)
{
    jit_quadruple_initialize();
    for (int op = 0; op < 183; op++) {
        u4 expected = 0;
        for (size_t bit = 0; bit < bit_lists.size(); bit++)
            for (const range& r : bit_lists[bit])
                if (op >= r.first && op <= r.last)
                    expected |= 1u << bit;
        EXPECT_EQ(opc_info_quadruple[op], expected) << "opcode " << op;
    }
    EXPECT_EQ(opc_info_quadruple[OPC_VCALL], 0x488u);
    EXPECT_EQ(opc_info_quadruple[OPC_IALOAD], 0x20180u);
    EXPECT_EQ(opc_info_quadruple[OPC_DCMOVE], opc_info_quadruple[OPC_FCMOVE]);
}

TEST(QuadTables, TypeTableRows)
{
    jit_quadruple_initialize();
    for (int row = 0; row < 8; row++)
        EXPECT_EQ(opc_table_type[row].two_word, row == 3 || row == 4 ? 1 : 0) << row;
    EXPECT_EQ(opc_table_type[1].move, OPC_IMOVE);
    EXPECT_EQ(opc_table_type[2].getfield, OPC_AGETFIELD);
    EXPECT_EQ(opc_table_type[3].constant, OPC_LCONST);
    EXPECT_EQ(opc_table_type[4].aload, OPC_DALOAD);
    EXPECT_EQ(opc_table_type[5].putstatic, OPC_FPUTSTATIC);
    EXPECT_EQ(opc_table_type[6].aload, OPC_XALOAD);
    EXPECT_EQ(opc_table_type[7].class_bits, 112);
    EXPECT_EQ(opc_table_type[0].move, 0);
}

TEST_F(Frontend, PcMapWithoutDeadCode)
{
    methodblock mb{};
    mb.code_length = 8;
    // Blocks at 0 and 5; instructions at 0, 2, 3, 5, 7.
    misinfo* mis = make_misinfo(&mb, {0, 5}, {0, 5}, {0, 2, 3, 5, 7});
    pc2bb_entry* t = generate_pc2bb_table(&m, mis, 1);
    std::vector<std::pair<u4, u4>> expected = {{1, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 2}, {2, 0}, {2, 0}, {2, 1}, {3, 0}};
    EXPECT_EQ(entries(t, 9), expected);
}

// A dead run takes no block number: its pcs carry the next live block's.
TEST_F(Frontend, PcMapWithDeadCodeBetweenBlocks)
{
    methodblock mb{};
    mb.code_length = 9;
    misinfo* mis = make_misinfo(&mb, {0, 3, 6}, {0, 6}, {0, 1, 3, 4, 6, 8});
    pc2bb_entry* t = generate_pc2bb_table(&m, mis, 1);
    std::vector<std::pair<u4, u4>> expected = {{1, 0}, {1, 1}, {1, 1}, {2, 0}, {2, 0}, {2, 0},
                                               {2, 0}, {2, 0}, {2, 1}, {3, 0}};
    EXPECT_EQ(entries(t, 10), expected);
}

TEST_F(Frontend, PcMapWithDeadCodeAtTheEnd)
{
    methodblock mb{};
    mb.code_length = 6;
    misinfo* mis = make_misinfo(&mb, {0, 2, 4}, {0, 2}, {0, 2, 4, 5});
    pc2bb_entry* t = generate_pc2bb_table(&m, mis, 1);
    std::vector<std::pair<u4, u4>> expected = {{1, 0}, {1, 0}, {2, 0}, {2, 0}, {0, 0}, {0, 0}, {3, 0}};
    EXPECT_EQ(entries(t, 7), expected);
    // An inlined body numbers from its first block.
    methodblock empty{};
    misinfo* none = make_misinfo(&empty, {}, {}, {});
    pc2bb_entry* e = generate_pc2bb_table(&m, none, 7);
    EXPECT_EQ(e[0].block, 7u);
}

TEST_F(Frontend, PcMapUpdateMovesLaterInstructionsOfTheBlockOnly)
{
    methodblock mb{};
    mb.code_length = 8;
    misinfo* mis = make_misinfo(&mb, {0, 5}, {0, 5}, {0, 2, 3, 5, 7});
    pc2bb_entry* t = generate_pc2bb_table(&m, mis, 1);
    update_pc2bb_table(t, 2, 2, mis);     // the instruction at 0 became three quadruples
    std::vector<std::pair<u4, u4>> expected = {{1, 0}, {1, 0}, {1, 3}, {1, 4}, {1, 4}, {2, 0}, {2, 0}, {2, 1}, {3, 0}};
    EXPECT_EQ(entries(t, 9), expected);
    EXPECT_EQ(count_block_instructions(mis->leaders, mis->starts, 8, 0), 3u);
    EXPECT_EQ(count_block_instructions(mis->leaders, mis->starts, 8, 5), 2u);
}

// ---- catch frames -----------------------------------------------------------------

namespace {

struct catch_fixture {
    method_compile_context m;
    classblock* cb;
    methodblock* mb;
    pc2bb_entry map[11];
    std::vector<u4> addresses;
};

// A method of 10 pcs, one block per pc (block = pc + 1, sentinel 11), with
// the given exception entries {start, end, handler, catch type}.
void build(catch_fixture& f, const std::vector<std::array<u2, 4>>& table)
{
    memset(&f.m, 0, sizeof f.m);
    f.cb = fake_class("Catcher", nullptr, {{"m", "()V", ACC_PUBLIC, std::vector<u1>(10, 0), static_cast<int>(table.size())}});
    fake_constant_pool(f.cb, 8);
    fake_cp_set(f.cb, 1, CONSTANT_Utf8, reinterpret_cast<u4>("java/io/IOException"));
    fake_cp_set(f.cb, 2, CONSTANT_Class, 1);
    fake_cp_set(f.cb, 3, CONSTANT_Utf8, reinterpret_cast<u4>("java/lang/Exception"));
    fake_cp_set(f.cb, 4, CONSTANT_Class, 3);
    f.mb = &f.cb->methods[0];
    jit_nccb_malloc(f.cb);
    auto* exc = reinterpret_cast<exception_entry*>(f.mb->exception_table);
    for (size_t i = 0; i < table.size(); i++) {
        exc[i].start_pc = table[i][0];
        exc[i].end_pc = table[i][1];
        exc[i].handler_pc = table[i][2];
        exc[i].catch_type = table[i][3];
    }
    f.m.mb = f.mb;
    f.m.pool1 = jit_wmem_init(0);
    f.m.bb_count = 12;
    f.m.bb_table = static_cast<bbattr**>(calloc(12, sizeof(bbattr*)));
    for (u4 b = 0; b < 12; b++) {
        bbattr* block = allocate_a_bbattr(&f.m, b, b == 0 ? 0 : b - 1, 0, 0, 0);
        f.m.bb_table[b] = block;
    }
    // Entry block: block 1, then one slot per handler.
    bbattr* entry = f.m.bb_table[0];
    entry->succ_count = 1 + static_cast<u4>(table.size());
    entry->succ = static_cast<u4*>(calloc(entry->succ_count, 4));
    entry->succ[0] = 1;
    for (u4 pc = 0; pc <= 10; pc++)
        f.map[pc] = pc2bb_entry{pc + 1, 0};
    f.addresses.assign(24, 0);
    for (u4 b = 0; b < 12; b++)
        f.addresses[b] = 0x9000 + b * 0x10;
}

} // namespace

TEST_F(Frontend, CatchFramesForRepeatedAndNestedEntries)
{
    catch_fixture f;
    // 0: inner [2,4) -> handler 8 (IOException); 1: the same again; 2: outer [1,6) -> 9 (Exception);
    // 3: outer catch-all [0,10) (ends at the last pc: the sentinel block).
    build(f, {{2, 4, 8, 2}, {2, 4, 8, 2}, {1, 6, 9, 4}, {0, 10, 9, 0}});
    build_bb_exception_table(&f.m, f.map);
    link_exception_handler_blocks(&f.m);
    ASSERT_EQ(JITallocateCatchFrame(&f.m), 0);
    ASSERT_EQ(JITsetCatchFrame(&f.m, f.addresses.data()), 0);

    auto* exc = reinterpret_cast<exception_entry*>(f.mb->exception_table);
    auto* table = reinterpret_cast<bb_exception_entry*>(exc[0].compiled_table);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[3].end_bb, 11);                     // the sentinel
    EXPECT_EQ(table[2].start_bb, 2);
    auto* dir = static_cast<catch_directory_slot*>(table[0].directory);
    ASSERT_EQ(dir, f.m.catch_frame_table);
    // Entry 0's run: itself, then every later entry enclosing it in table
    // order (its repeat included).
    EXPECT_EQ(dir[0].count, 4);
    EXPECT_EQ(dir[1].count, -1);                        // repeats entry 0: no run of its own
    EXPECT_EQ(dir[2].count, 2);
    EXPECT_EQ(dir[3].count, 1);
    EXPECT_STREQ(dir[0].records[0].class_name, "java/io/IOException");
    EXPECT_STREQ(dir[0].records[1].class_name, "java/io/IOException");
    EXPECT_STREQ(dir[0].records[2].class_name, "java/lang/Exception");
    EXPECT_EQ(dir[0].records[3].class_name, nullptr);   // catch-all
    EXPECT_EQ(dir[0].records[0].handler, f.addresses[9]);
    EXPECT_EQ(dir[0].records[2].handler, f.addresses[10]);
    EXPECT_EQ(dir[2].records, dir[0].records + 4);      // runs are contiguous, skipping the repeat
    EXPECT_EQ(dir[3].records, dir[2].records + 2);
    EXPECT_EQ(dir[0].records[0].needs_object, 1u);      // the handler block has no quadruples

    // Try regions: the first entry in table order that covers a block wins.
    EXPECT_EQ(f.m.bb_table[3]->try_region, 0);
    EXPECT_EQ(f.m.bb_table[2]->try_region, 2);
    EXPECT_EQ(f.m.bb_table[1]->try_region, 3);
    EXPECT_TRUE(f.m.bb_table[9]->flags & BB_HANDLER);
    EXPECT_TRUE(f.m.bb_table[3]->flags & BB_TRY_START);
    EXPECT_TRUE(f.m.bb_table[4]->flags & BB_IN_TRY);
    EXPECT_EQ(f.m.bb_table[0]->succ[1], 9u);
    EXPECT_EQ(f.m.bb_table[10]->pred_count, 1u + 2u);
}

TEST_F(Frontend, NoExceptionTableBuildsNoTables)
{
    catch_fixture f;
    build(f, {});
    build_bb_exception_table(&f.m, f.map);
    JITallocateCatchFrame(&f.m);
    EXPECT_EQ(f.m.exc_bb_table, nullptr);
    EXPECT_EQ(f.m.catch_frame_table, nullptr);
    EXPECT_EQ(f.m.code_mem_chain, nullptr);
}

TEST_F(Frontend, CatchClassMatchingFollowsSuperclassesWithTheSameLoader)
{
    classblock* object = fake_class("java/lang/Object", nullptr, {});
    classblock* exception = fake_class("java/lang/Exception", object, {});
    classblock* ioe = fake_class("java/io/IOException", exception, {});
    EXPECT_EQ(match_catch_class_name(object, ioe, "java/lang/Exception"), 1);
    EXPECT_EQ(match_catch_class_name(object, ioe, "java/lang/Error"), 0);
    exception->loader = 1;
    EXPECT_EQ(match_catch_class_name(object, ioe, "java/lang/Exception"), 0);
}

// ---- constant-pool accessors ---------------------------------------------------------

namespace {

// cp: 1 Utf8 "Target", 2 Class(1), 3 Utf8 "count", 4 Utf8 "I", 5 NameAndType(3,4),
// 6 Fieldref(2,5), 7 Fieldref(2,0) malformed, 8 Methodref(2,5), 9 Utf8 "(JD[JLjava/lang/String;I)V"
classblock* pool_class()
{
    classblock* cb = fake_class("Holder", nullptr, {});
    fake_constant_pool(cb, 12);
    fake_cp_set(cb, 1, CONSTANT_Utf8, reinterpret_cast<u4>("Target"));
    fake_cp_set(cb, 2, CONSTANT_Class, 1);
    fake_cp_set(cb, 3, CONSTANT_Utf8, reinterpret_cast<u4>("count"));
    fake_cp_set(cb, 4, CONSTANT_Utf8, reinterpret_cast<u4>("I"));
    fake_cp_set(cb, 5, CONSTANT_NameAndType, (3u << 16) | 4u);
    fake_cp_set(cb, 6, CONSTANT_Fieldref, (2u << 16) | 5u);
    fake_cp_set(cb, 7, CONSTANT_Fieldref, (2u << 16) | 0u);
    fake_cp_set(cb, 8, CONSTANT_Methodref, (2u << 16) | 5u);
    return cb;
}

} // namespace

TEST_F(Frontend, UnresolvedNamesAndMalformedEntries)
{
    classblock* cb = pool_class();
    EE* ee = fake_current_ee;
    const char *c, *n, *s;
    get_field_names_from_cp_with_lock(cb, ee, 6, &c, &n, &s);
    EXPECT_STREQ(c, "Target");
    EXPECT_STREQ(n, "count");
    EXPECT_STREQ(s, "I");
    EXPECT_EQ(get_field_signature_type_from_cp_with_lock(cb, ee, 6), 'I');
    // NameAndType index 0: three null outputs, and the lock is free again.
    get_field_names_from_cp_with_lock(cb, ee, 7, &c, &n, &s);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(n, nullptr);
    EXPECT_EQ(s, nullptr);
    EXPECT_EQ(fake_monitor_depth(g_vm->linkclass_lock), 0);
    EXPECT_EQ(get_field_signature_from_cp_with_lock(cb, ee, 7), nullptr);
    EXPECT_EQ(fake_monitor_depth(g_vm->linkclass_lock), 0);
    // Out of range and wrong tags.
    get_method_names_from_cp_with_lock(cb, ee, 40, &c, &n, &s);
    EXPECT_EQ(c, nullptr);
    get_method_names_from_cp_with_lock(cb, ee, 5, &c, &n, &s);
    EXPECT_EQ(c, nullptr);
    EXPECT_EQ(fake_monitor_depth(g_vm->linkclass_lock), 0);
}

// An entry resolved by another thread between the two looks at its tag is read
// from its block.
TEST_F(Frontend, EntryResolvedWhileTheLockIsTaken)
{
    classblock* cb = pool_class();
    classblock* target = fake_class("Target", nullptr, {{"run", "(J)V"}});
    fieldblock* fb = static_cast<fieldblock*>(calloc(1, sizeof(fieldblock)));
    fb->clazz = target;
    fb->name = "resolvedName";
    fb->signature = "J";
    g_vm->on_monitor_enter = [&](void* monitor) {
        if (monitor == g_vm->linkclass_lock) {
            cb->constantpool[6] = reinterpret_cast<u4>(fb);
            reinterpret_cast<u1*>(cb->constantpool[0])[6] |= CONSTANT_RESOLVED;
        }
    };
    const char *c, *n, *s;
    get_field_names_from_cp_with_lock(cb, fake_current_ee, 6, &c, &n, &s);
    g_vm->on_monitor_enter = nullptr;
    EXPECT_STREQ(c, "Target");
    EXPECT_STREQ(n, "resolvedName");
    EXPECT_STREQ(s, "J");
    EXPECT_EQ(fake_monitor_depth(g_vm->linkclass_lock), 0);
}

TEST_F(Frontend, RegisteredUnresolvedReferences)
{
    classblock* cb = pool_class();
    method_unresolved_info info;
    initialize_method_unresolved_info(&info);
    m.unresolved_info = &info;
    const char *c, *n, *s;
    EXPECT_EQ(get_field_signature(cb, 6, &m), nullptr);
    EXPECT_EQ(get_method_name_sig_and_clname(cb, 8, &m, 0, &n, &s, &c), 1);
    register_unresolved_field_signature_information(cb, fake_current_ee, 6, &info, &c, &n, &s);
    register_unresolved_method_signature_information(cb, fake_current_ee, 8, &info, &c, &n, &s);
    EXPECT_STREQ(get_field_signature(cb, 6, &m), "I");
    EXPECT_EQ(get_field_signature_type(cb, 6, &m), 'I');
    EXPECT_EQ(get_method_name_sig_and_clname(cb, 8, &m, 0, &n, &s, &c), 0);
    EXPECT_STREQ(n, "count");
    EXPECT_STREQ(c, "Target");
    EXPECT_NE(info.pool, nullptr);
    free_method_unresolved_info(&info);
    EXPECT_EQ(info.pool, nullptr);
    EXPECT_EQ(check_is_volatile(cb, 6), 1);     // unresolved counts as volatile
}

TEST(ConstantPool, SignatureHelpers)
{
    EXPECT_EQ(get_method_args_size(nullptr, "(JD[JLjava/lang/String;I)V"), 7);
    EXPECT_EQ(get_method_args_size(nullptr, "()V"), 0);
    EXPECT_EQ(get_method_args_size(nullptr, "([[D[Ljava/lang/Object;Z)J"), 3);
    EXPECT_EQ(get_method_return_type("(I)J"), 'J');
    EXPECT_EQ(get_method_return_type("()Ljava/lang/String;"), 'L');
    EXPECT_EQ(get_method_return_type("()[I"), '[');
    // A malformed descriptor has no return type, so the invoke generator
    // refuses the call; the words stop at the broken parameter.
    EXPECT_EQ(get_method_return_type("(ILjava/lang/String)V"), 0);
    EXPECT_EQ(get_method_return_type("(I)"), 0);
    EXPECT_EQ(get_method_args_size(nullptr, "(JLjava/lang/String)V"), 2);
    EXPECT_EQ(get_method_args_size(nullptr, nullptr), 0);
}

// is_superclass never reports a root class; is_same_or_superclass answers the
// plain question.
TEST(ConstantPool, SuperclassQueries)
{
    classblock* object = fake_class("java/lang/Object", nullptr, {});
    classblock* a = fake_class("A", object, {});
    classblock* b = fake_class("B", a, {});
    EXPECT_EQ(is_superclass(b, b), 1);
    EXPECT_EQ(is_superclass(a, b), 1);
    EXPECT_EQ(is_superclass(object, b), 0);
    EXPECT_EQ(is_superclass(object, a), 0);
    EXPECT_EQ(is_superclass(b, a), 0);
    EXPECT_EQ(is_same_or_superclass(object, b), 1);
    EXPECT_EQ(is_same_or_superclass(b, a), 0);
}

TEST(ConstantPool, CoreClassesAndResolutionUnderJavaLang)
{
    fake_vm* vm = fake_vm_new();
    classblock* string = fake_class("java/lang/String", nullptr, {{"length", "()I"}, {"charAt", "(I)C"}});
    classblock* object = fake_class("java/lang/Object", nullptr, {});
    vm->class_vars[1] = object;
    vm->class_vars[2] = string;
    fake_vm_bind_and_init(vm);
    EXPECT_EQ(find_core_java_lang_class("java/lang/String"), string);
    EXPECT_EQ(find_core_java_lang_class("java/lang/Object"), object);
    EXPECT_EQ(find_core_java_lang_class("java/lang/Classy"), nullptr);
    EXPECT_EQ(find_core_java_lang_class("java/lang/Obj"), nullptr);
    EXPECT_EQ(find_core_java_lang_class("java/util/String"), nullptr);
    EXPECT_EQ(find_core_java_lang_class("java/lang/Class"), nullptr);   // not set in this VM

    classblock* cb = pool_class();
    EXPECT_EQ(jit_resolve_method_under_java_lang(cb, 8, "java/lang/String", "charAt", "(I)C", fake_current_ee), 1);
    EXPECT_EQ(cb->constantpool[8], reinterpret_cast<u4>(&string->methods[1]));
    EXPECT_TRUE(reinterpret_cast<u1*>(cb->constantpool[0])[8] & CONSTANT_RESOLVED);
    EXPECT_EQ(fake_monitor_depth(vm->linkclass_lock), 0);
    classblock* cb2 = pool_class();
    EXPECT_EQ(jit_resolve_method_under_java_lang(cb2, 8, "java/lang/String", "trim", "()Ljava/lang/String;",
                                                 fake_current_ee),
              0);
    EXPECT_EQ(jit_resolve_method_under_java_lang(cb2, 6, "java/lang/String", "length", "()I", fake_current_ee), 0);
}
