// Golden-table rows of the array fill (gen_memset's emitter): the whole
// sequence for each element size, with the indexes in registers and as
// constants, must be what GNU as writes for its Intel text, and pass 1 must
// count exactly what pass 2 writes.  The execution of the fill over real
// arrays is in arrays/memset_test.cpp.
#include <gtest/gtest.h>

#include "cg_test_util.h"

namespace {

constexpr u4 EDX = GR_EDX, EBX = GR_EBX, EBP = GR_EBP, ESI = GR_ESI;

// An index operand: a constant, or a register (the first index: ecx).
struct idx {
    bool constant;
    s4 value;
    u4 reg;
};
constexpr idx K(s4 v) { return {true, v, 0}; }
constexpr idx R(u4 reg) { return {false, 0, reg}; }

int fill(codegen_context* cg, int size, u4 lo, u4 hi, u4 array, idx first, idx end)
{
    array_fill f = {};
    f.size = size;
    f.lo = lo;
    f.hi = hi;
    f.array = array;
    f.first_const = first.constant;
    f.first = first.value;
    f.end_const = end.constant;
    f.end = end.value;
    f.end_reg = end.reg;
    return emit_array_fill(cg, &f);
}

const golden_row fill_rows[] = {
    // 4-byte elements: no alignment steps.
    ROW("{load} cmp ecx, edx; jge 1f; lea edi, [ebx+ecx*4+8]; neg ecx; {load} add ecx, edx; mov eax, 7; rep stosd; 1:",
        fill(cg, 4, 7, 0, EBX, R(GR_ECX), R(EDX))),
    ROW("cmp ecx, 100; jge 1f; lea edi, [ebx+ecx*4+8]; neg ecx; add ecx, 100; mov eax, 7; rep stosd; 1:",
        fill(cg, 4, 7, 0, EBX, R(GR_ECX), K(100))),
    ROW("cmp esi, 0; jle 1f; lea edi, [ebx+8]; {load} mov ecx, esi; mov eax, 0; rep stosd; 1:",
        fill(cg, 4, 0, 0, EBX, K(0), R(ESI))),
    ROW("lea edi, [ebx+20]; mov ecx, 7; mov eax, 0x3f800000; rep stosd",
        fill(cg, 4, 0x3F800000, 0, EBX, K(3), K(10))),
    // 2-byte elements: one half-word to reach an even index, the last one by stosw.
    ROW("{load} cmp ecx, edx; jge 1f; test cl, 1; je 2f; mov word ptr [ebx+ecx*2+8], 0x8001; inc ecx; "
        "{load} cmp ecx, edx; jge 1f; 2: lea edi, [ebx+ecx*2+8]; neg ecx; {load} add ecx, edx; shr ecx, 1; "
        "mov eax, 0x80018001; rep stosd; test dl, 1; je 3f; stosw; 3: 1:",
        fill(cg, 2, 0xFFFF8001u, 0, EBX, R(GR_ECX), R(EDX))),
    ROW("cmp esi, 1; jle 1f; mov word ptr [ebx+10], 0x1234; cmp esi, 2; jle 1f; lea edi, [ebx+12]; "
        "{load} mov ecx, esi; sub ecx, 2; shr ecx, 1; mov eax, 0x12341234; rep stosd; test esi, 1; je 2f; stosw; 2: 1:",
        fill(cg, 2, 0x1234, 0, EBX, K(1), R(ESI))),
    ROW("mov word ptr [ebx+10], 0x1234; lea edi, [ebx+12]; mov ecx, 3; mov eax, 0x12341234; rep stosd",
        fill(cg, 2, 0x1234, 0, EBX, K(1), K(8))),
    // 1-byte elements: up to three bytes to reach an index that is a multiple of 4.
    ROW("{load} cmp ecx, edx; jge 1f; test cl, 1; je 2f; mov byte ptr [ebx+ecx+8], 0x80; inc ecx; "
        "{load} cmp ecx, edx; jge 1f; 2: test cl, 2; je 3f; mov byte ptr [ebx+ecx+8], 0x80; inc ecx; "
        "{load} cmp ecx, edx; jge 1f; mov byte ptr [ebx+ecx+8], 0x80; inc ecx; {load} cmp ecx, edx; jge 1f; "
        "3: lea edi, [ebx+ecx+8]; neg ecx; {load} add ecx, edx; shr ecx, 2; mov eax, 0x80808080; rep stosd; "
        "test dl, 2; je 4f; stosw; 4: test dl, 1; je 5f; stosb; 5: 1:",
        fill(cg, 1, 0xFFFFFF80u, 0, EBX, R(GR_ECX), R(EDX))),
    ROW("cmp esi, 2; jle 1f; mov byte ptr [ebp+10], 0x5a; cmp esi, 3; jle 1f; mov byte ptr [ebp+11], 0x5a; "
        "cmp esi, 4; jle 1f; lea edi, [ebp+12]; {load} mov ecx, esi; sub ecx, 4; shr ecx, 2; mov eax, 0x5a5a5a5a; "
        "rep stosd; test esi, 2; je 2f; stosw; 2: test esi, 1; je 3f; stosb; 3: 1:",
        fill(cg, 1, 0x5A, 0, EBP, K(2), R(ESI))),
    ROW("cmp ecx, 1003; jge 1f; test cl, 1; je 2f; mov byte ptr [ebx+ecx+8], 0x5a; inc ecx; cmp ecx, 1003; jge 1f; "
        "2: test cl, 2; je 3f; mov byte ptr [ebx+ecx+8], 0x5a; inc ecx; cmp ecx, 1003; jge 1f; "
        "mov byte ptr [ebx+ecx+8], 0x5a; inc ecx; cmp ecx, 1003; jge 1f; 3: lea edi, [ebx+ecx+8]; neg ecx; "
        "add ecx, 1003; shr ecx, 2; mov eax, 0x5a5a5a5a; rep stosd; stosw; stosb; 1:",
        fill(cg, 1, 0x5A, 0, EBX, R(GR_ECX), K(1003))),
    // Ends before the index is aligned: two bytes and nothing else.
    ROW("mov byte ptr [ebx+9], 0x5a; mov byte ptr [ebx+10], 0x5a", fill(cg, 1, 0x5A, 0, EBX, K(1), K(3))),
    ROW("lea edi, [ebx+8]; mov ecx, 1; mov eax, 0x5a5a5a5a; rep stosd; stosw; stosb",
        fill(cg, 1, 0x5A, 0, EBX, K(0), K(7))),
    // 8-byte elements: equal words by doublewords, else two stores per element.
    ROW("{load} cmp ecx, edx; jge 1f; lea edi, [ebx+ecx*8+8]; neg ecx; {load} add ecx, edx; shl ecx, 1; "
        "mov eax, 0; rep stosd; 1:",
        fill(cg, 8, 0, 0, EBX, R(GR_ECX), R(EDX))),
    ROW("lea edi, [ebx+24]; mov ecx, 6; mov eax, -1; rep stosd", fill(cg, 8, 0xFFFFFFFFu, 0xFFFFFFFFu, EBX, K(2), K(5))),
    ROW("{load} cmp ecx, esi; jge 1f; lea edi, [ebx+ecx*8+8]; neg ecx; {load} add ecx, esi; "
        "2: mov dword ptr [edi], 0x1234567; mov dword ptr [edi+4], 0x89abcdef; add edi, 8; dec ecx; jne 2b; 1:",
        fill(cg, 8, 0x01234567u, 0x89ABCDEFu, EBX, R(GR_ECX), R(ESI))),
    ROW("lea edi, [ebx+8]; mov ecx, 3; 2: mov dword ptr [edi], 0; mov dword ptr [edi+4], 0x3ff00000; add edi, 8; "
        "dec ecx; jne 2b",
        fill(cg, 8, 0, 0x3FF00000u, EBX, K(0), K(3))),
};

}  // namespace

TEST(GoldenX86, ArrayFill) { check_golden_rows(fill_rows, std::size(fill_rows)); }
