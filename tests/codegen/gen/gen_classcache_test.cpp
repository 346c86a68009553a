// Golden rows of the class-cache cell accesses: the inline compare with a
// cell and the miss path's fill, for every register a site may use, must be
// what GNU as writes (the cells are data words at absolute addresses).
#include <gtest/gtest.h>

#include "cg_test_util.h"

// From codegen/gen_object.h, whose core header clashes with this fixture's.
int emit_class_cache_compare(codegen_context* cg, u4 reg, u4 cell);
int emit_class_cache_store(codegen_context* cg, u4 cell, u4 reg);

namespace {

constexpr u4 EAX = GR_EAX, EDX = GR_EDX, ECX = GR_ECX, EBX = GR_EBX, EBP = GR_EBP, ESI = GR_ESI, EDI = GR_EDI;

const golden_row cell_rows[] = {
    ROW("cmp eax, [0x12345678]", emit_class_cache_compare(cg, EAX, 0x12345678)),
    ROW("cmp ecx, [0x12345678]", emit_class_cache_compare(cg, ECX, 0x12345678)),
    ROW("cmp edx, [0x12345678]", emit_class_cache_compare(cg, EDX, 0x12345678)),
    ROW("cmp ebx, [0x12345678]", emit_class_cache_compare(cg, EBX, 0x12345678)),
    ROW("cmp ebp, [0x12345678]", emit_class_cache_compare(cg, EBP, 0x12345678)),
    ROW("cmp esi, [0x12345678]", emit_class_cache_compare(cg, ESI, 0x12345678)),
    ROW("cmp edi, [0xfffffffc]", emit_class_cache_compare(cg, EDI, 0xFFFFFFFCu)),
    ROW("mov [0x12345678], eax", emit_class_cache_store(cg, 0x12345678, EAX)),
    ROW("mov [0x12345678], ecx", emit_class_cache_store(cg, 0x12345678, ECX)),
    ROW("mov [0x12345678], edx", emit_class_cache_store(cg, 0x12345678, EDX)),
    ROW("mov [0x12345678], ebx", emit_class_cache_store(cg, 0x12345678, EBX)),
    ROW("mov [0x12345678], ebp", emit_class_cache_store(cg, 0x12345678, EBP)),
    ROW("mov [0x12345678], esi", emit_class_cache_store(cg, 0x12345678, ESI)),
    ROW("mov [0xfffffffc], edi", emit_class_cache_store(cg, 0xFFFFFFFCu, EDI)),
    ROW("mov [0xfffffffc], eax", emit_class_cache_store(cg, 0xFFFFFFFCu, EAX)),
};

}  // namespace

TEST(GoldenX86, ClassCacheCells) { check_golden_rows(cell_rows, std::size(cell_rows)); }
