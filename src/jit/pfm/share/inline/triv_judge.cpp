// Trivial-method recognition.
//
// When a class is prepared every method's bytecode (at most 9 bytes, no
// exception handlers) is compared with a fixed set of byte patterns: the
// first four code bytes as one little-endian word and, for lengths 5 and 6,
// bytes 4 to 7 as a second word, each masked before the comparison.  The kind
// (1 to 10) goes into bits 4 to 7 of the method block's compiler flag word.
// `trivJudgeSetFlag` later decides whether a call to such a method may be
// replaced by its body, resolving the constant-pool entry the body uses.
//
// Code is 4-aligned and padded with 4 zero bytes, so reading bytes 4 to 7 of a
// 5- or 6-byte method stays inside the code.
#include <string.h>

#include "driver/driver.h"
#include "inline/inline.h"

namespace {

// Opcodes of the patterns.
constexpr u1 BC_ACONST_NULL = 0x01, BC_ICONST_0 = 0x03, BC_ICONST_1 = 0x04, BC_ICONST_2 = 0x05;
constexpr u1 BC_LDC = 0x12, BC_ILOAD_0 = 0x1a, BC_ILOAD_1 = 0x1b, BC_LLOAD_0 = 0x1e, BC_LLOAD_1 = 0x1f;
constexpr u1 BC_FLOAD_0 = 0x22, BC_FLOAD_1 = 0x23, BC_DLOAD_0 = 0x26, BC_DLOAD_1 = 0x27;
constexpr u1 BC_ALOAD_0 = 0x2a, BC_ALOAD_1 = 0x2b;
constexpr u1 BC_IRETURN = 0xac, BC_LRETURN = 0xad, BC_FRETURN = 0xae, BC_DRETURN = 0xaf, BC_ARETURN = 0xb0;
constexpr u1 BC_RETURN = 0xb1, BC_GETSTATIC = 0xb2, BC_PUTSTATIC = 0xb3, BC_GETFIELD = 0xb4, BC_PUTFIELD = 0xb5;
constexpr u1 BC_INVOKEVIRTUAL = 0xb6, BC_INVOKESPECIAL = 0xb7, BC_INVOKESTATIC = 0xb8;
constexpr u1 BC_GETFIELD_QUICK_W = 227, BC_PUTFIELD_QUICK_W = 228;

constexpr u4 KIND_EMPTY = 16, KIND_CONST = 32, KIND_LDC = 48, KIND_GETSTATIC = 64, KIND_PUTSTATIC = 80;
constexpr u4 KIND_GETFIELD = 96, KIND_PUTFIELD = 112, KIND_GETFIELD2 = 128, KIND_PASSTHRU = 144;
constexpr u4 KIND_PASSTHRUX = 160;

constexpr u4 w2(u1 a, u1 b) { return a | (u4{b} << 8); }
constexpr u4 w3(u1 a, u1 b, u1 c) { return w2(a, b) | (u4{c} << 16); }

constexpr u4 code_mask_one = 0x000000ff;
constexpr u4 code_cand_one[] = {BC_RETURN};
constexpr u4 code_mask_two = 0x0000ffff;
constexpr u4 code_cand_two[] = {w2(BC_ICONST_0, BC_IRETURN),    w2(BC_ICONST_1, BC_IRETURN),
                                w2(BC_ICONST_2, BC_IRETURN),    w2(BC_ACONST_NULL, BC_ARETURN),
                                w2(BC_ALOAD_0, BC_ARETURN),     w2(BC_ALOAD_1, BC_ARETURN)};
constexpr u4 code_mask_three = 0x00ff00ff;      // the ldc index is not compared
constexpr u4 code_cand_three[] = {w3(BC_LDC, 0, BC_ARETURN), w3(BC_LDC, 0, BC_FRETURN), w3(BC_LDC, 0, BC_IRETURN)};
constexpr u4 code_mask_four_getXstatic = 0xff0000ff;   // the field index is not compared
constexpr u4 code_cand_four_getXstatic[] = {BC_GETSTATIC | u4{BC_IRETURN} << 24, BC_GETSTATIC | u4{BC_ARETURN} << 24,
                                            BC_GETSTATIC | u4{BC_LRETURN} << 24, BC_GETSTATIC | u4{BC_FRETURN} << 24,
                                            BC_GETSTATIC | u4{BC_DRETURN} << 24};

constexpr u4 code_mask_five_getAfield[2] = {0x0000ffff, 0x000000ff};
constexpr u4 code_cand_five_getAfield_first[] = {w2(BC_ALOAD_0, BC_GETFIELD)};
constexpr u4 code_cand_five_getAfield_second[] = {BC_IRETURN, BC_ARETURN, BC_FRETURN, BC_DRETURN, BC_LRETURN};

constexpr u4 code_mask_five_putXstatic[2] = {0x0000ffff, 0x000000ff};
constexpr u4 code_cand_five_putXstatic_first[] = {w2(BC_ALOAD_0, BC_PUTSTATIC), w2(BC_ICONST_0, BC_PUTSTATIC),
                                                  w2(BC_ICONST_1, BC_PUTSTATIC), w2(BC_ILOAD_0, BC_PUTSTATIC),
                                                  w2(BC_LLOAD_0, BC_PUTSTATIC), w2(BC_FLOAD_0, BC_PUTSTATIC),
                                                  w2(BC_DLOAD_0, BC_PUTSTATIC), w2(BC_ACONST_NULL, BC_PUTSTATIC)};
constexpr u4 code_cand_five_putXstatic_second[] = {BC_RETURN};

// The low bit of the first byte is ignored: aload_0 and aload_1 both match.
constexpr u4 code_mask_five_passthru[2] = {0x0000fffe, 0x000000ff};
constexpr u4 code_cand_five_passthru_special_first[] = {w2(BC_ALOAD_0, BC_INVOKESPECIAL), w2(BC_ALOAD_1, BC_INVOKESPECIAL)};
constexpr u4 code_cand_five_passthru_virtual_first[] = {w2(BC_ALOAD_0, BC_INVOKEVIRTUAL), w2(BC_ALOAD_1, BC_INVOKEVIRTUAL)};
constexpr u4 code_cand_five_passthru_static_first[] = {w2(BC_ALOAD_0, BC_INVOKESTATIC), w2(BC_ALOAD_1, BC_INVOKESTATIC)};
constexpr u4 code_cand_five_passthru_second[] = {BC_RETURN, BC_ARETURN};

constexpr u4 code_mask_six_putAfield[2] = {0x00ffffff, 0x0000ff00};
constexpr u4 code_cand_six_putAfield_first[] = {
    w3(BC_ALOAD_0, BC_ILOAD_1, BC_PUTFIELD),   w3(BC_ALOAD_0, BC_ALOAD_1, BC_PUTFIELD),
    w3(BC_ALOAD_0, BC_ACONST_NULL, BC_PUTFIELD), w3(BC_ALOAD_0, BC_ICONST_1, BC_PUTFIELD),
    w3(BC_ALOAD_0, BC_ICONST_0, BC_PUTFIELD),  w3(BC_ALOAD_0, BC_LLOAD_1, BC_PUTFIELD),
    w3(BC_ALOAD_0, BC_FLOAD_1, BC_PUTFIELD),   w3(BC_ALOAD_0, BC_DLOAD_1, BC_PUTFIELD)};
constexpr u4 code_cand_six_putAfield_second[] = {u4{BC_RETURN} << 8};

constexpr u4 code_mask_six_passthruX[2] = {0x00ffffff, 0x0000ff00};
#define ORVA_PASSTHRUX(load) \
    {w3(BC_ALOAD_0, load, BC_INVOKESPECIAL), w3(BC_ALOAD_0, load, BC_INVOKEVIRTUAL), w3(BC_ALOAD_0, load, BC_INVOKESTATIC)}
constexpr u4 code_cand_six_passthruX_aload_1[] = ORVA_PASSTHRUX(BC_ALOAD_1);
constexpr u4 code_cand_six_passthruX_iload_1[] = ORVA_PASSTHRUX(BC_ILOAD_1);
constexpr u4 code_cand_six_passthruX_aconst_null[] = ORVA_PASSTHRUX(BC_ACONST_NULL);
constexpr u4 code_cand_six_passthruX_iconst_0[] = ORVA_PASSTHRUX(BC_ICONST_0);
constexpr u4 code_cand_six_passthruX_iconst_1[] = ORVA_PASSTHRUX(BC_ICONST_1);
constexpr u4 code_cand_six_passthruX_lload_1[] = ORVA_PASSTHRUX(BC_LLOAD_1);
constexpr u4 code_cand_six_passthruX_fload_1[] = ORVA_PASSTHRUX(BC_FLOAD_1);
constexpr u4 code_cand_six_passthruX_dload_1[] = ORVA_PASSTHRUX(BC_DLOAD_1);
#undef ORVA_PASSTHRUX
constexpr u4 code_cand_six_passthruX_second[] = {u4{BC_RETURN} << 8, u4{BC_ARETURN} << 8};

template <size_t N>
bool any_equal(u4 word, u4 mask, const u4 (&cands)[N])
{
    for (u4 c : cands)
        if ((word & mask) == c)
            return true;
    return false;
}

template <size_t N1, size_t N2>
int two_words(const u4* first, const u4* second, const u4 (&mask)[2], const u4 (&c1)[N1], const u4 (&c2)[N2])
{
    return any_equal(*first, mask[0], c1) && any_equal(*second, mask[1], c2) ? 1 : -1;
}

u4 word_at(const u1* code, int offset)
{
    u4 w;
    memcpy(&w, code + offset, 4);
    return w;
}

typedef u4 (*triv_matcher)(const u1* code);

u4 trivCmpZeroByte(const u1*) { return KIND_EMPTY; }

u4 trivCmpOneByte(const u1* code) { return any_equal(word_at(code, 0), code_mask_one, code_cand_one) ? KIND_EMPTY : 0; }

u4 trivCmpTwoByte(const u1* code) { return any_equal(word_at(code, 0), code_mask_two, code_cand_two) ? KIND_CONST : 0; }

u4 trivCmpThreeByte(const u1* code)
{
    return any_equal(word_at(code, 0), code_mask_three, code_cand_three) ? KIND_LDC : 0;
}

u4 trivCmpFourByte(const u1* code)
{
    return any_equal(word_at(code, 0), code_mask_four_getXstatic, code_cand_four_getXstatic) ? KIND_GETSTATIC : 0;
}

u4 trivCmpFiveByte(const u1* code)
{
    u4 a = word_at(code, 0), b = word_at(code, 4);
    if (triv_for_passthru(&a, &b) == 1)
        return KIND_PASSTHRU;
    if (triv_for_getAfield(&a, &b) == 1)
        return KIND_GETFIELD;
    if (triv_for_putXstatic(&a, &b) == 1)
        return KIND_PUTSTATIC;
    return 0;
}

u4 trivCmpSixByte(const u1* code)
{
    u4 a = word_at(code, 0), b = word_at(code, 4);
    if (triv_for_putAfield(&a, &b) == 1)
        return KIND_PUTFIELD;
    if (triv_for_passthruX(&a, &b) == 1)
        return KIND_PASSTHRUX;
    return 0;
}

u4 trivCmpSevenByte(const u1*) { return 0; }
u4 trivCmpEightByte(const u1*) { return 0; }
u4 trivCmpNineByte(const u1*) { return 0; }

constexpr triv_matcher matchers[10] = {trivCmpZeroByte, trivCmpOneByte,   trivCmpTwoByte,   trivCmpThreeByte,
                                       trivCmpFourByte, trivCmpFiveByte,  trivCmpSixByte,   trivCmpSevenByte,
                                       trivCmpEightByte, trivCmpNineByte};

// Resolves a field entry when needed (the pending exception of a failure is
// cleared) and answers its field block, or 0.
fieldblock* field_entry(classblock* cb, EE* ee, u4 index)
{
    if (index == 0 || index >= cb->constantpool_count)
        return nullptr;
    u4* cp = cb->constantpool;
    const u1* tags = reinterpret_cast<const u1*>(cp[0]);
    if ((tags[index] & CONSTANT_TAG_MASK) != CONSTANT_Fieldref)
        return nullptr;
    if (!(tags[index] & CONSTANT_RESOLVED)) {
        int ok = vm.ResolveClassConstantFromClass2(cb, static_cast<int>(index), ee, 1u << CONSTANT_Fieldref, 0);
        if (ee != nullptr) {
            ee->exception_kind = 0;
            ee->exception = 0;
        }
        if (!ok || !(tags[index] & CONSTANT_RESOLVED))
            return nullptr;
    }
    return reinterpret_cast<fieldblock*>(cp[index]);
}

u4 index16(const u1* code, int at) { return (u4{code[at]} << 8) | code[at + 1]; }

} // namespace

int triv_for_passthru(const u4* first, const u4* second)
{
    switch ((*first >> 8) & 0xff) {
    case BC_INVOKESPECIAL:
        return two_words(first, second, code_mask_five_passthru, code_cand_five_passthru_special_first,
                         code_cand_five_passthru_second);
    case BC_INVOKESTATIC:
        return two_words(first, second, code_mask_five_passthru, code_cand_five_passthru_static_first,
                         code_cand_five_passthru_second);
    case BC_INVOKEVIRTUAL:
        return two_words(first, second, code_mask_five_passthru, code_cand_five_passthru_virtual_first,
                         code_cand_five_passthru_second);
    default:
        return -1;
    }
}

int triv_for_getAfield(const u4* first, const u4* second)
{
    return two_words(first, second, code_mask_five_getAfield, code_cand_five_getAfield_first,
                     code_cand_five_getAfield_second);
}

int triv_for_putXstatic(const u4* first, const u4* second)
{
    return two_words(first, second, code_mask_five_putXstatic, code_cand_five_putXstatic_first,
                     code_cand_five_putXstatic_second);
}

int triv_for_putAfield(const u4* first, const u4* second)
{
    return two_words(first, second, code_mask_six_putAfield, code_cand_six_putAfield_first,
                     code_cand_six_putAfield_second);
}

int triv_for_passthruX(const u4* first, const u4* second)
{
    const u4 (*list)[3];
    switch ((*first >> 8) & 0xff) {
    case BC_ILOAD_1: list = &code_cand_six_passthruX_iload_1; break;
    case BC_FLOAD_1: list = &code_cand_six_passthruX_fload_1; break;
    case BC_LLOAD_1: list = &code_cand_six_passthruX_lload_1; break;
    case BC_DLOAD_1: list = &code_cand_six_passthruX_dload_1; break;
    case BC_ALOAD_1: list = &code_cand_six_passthruX_aload_1; break;
    case BC_ICONST_0: list = &code_cand_six_passthruX_iconst_0; break;
    case BC_ICONST_1: list = &code_cand_six_passthruX_iconst_1; break;
    case BC_ACONST_NULL: list = &code_cand_six_passthruX_aconst_null; break;
    default: return -1;
    }
    return two_words(first, second, code_mask_six_passthruX, *list, code_cand_six_passthruX_second);
}

u4 trivMatchingTrivialInvokers(classblock* cb, methodblock* mb)
{
    if (mb->code_length > 9)
        return 0;
    if (mb->exception_table_length != 0)
        return 0;
    if (mb->code != nullptr)
        return matchers[mb->code_length](mb->code);
    return mb->code_length == 0 ? KIND_EMPTY : 0;
}

void trivJudgeTrivialInvokers(classblock* cb)
{
    for (u2 i = 0; i < cb->methods_count; i++) {
        methodblock* mb = &cb->methods[i];
        mb->jit_flags &= ~TRIV_KIND_MASK;
        if (mb->access & (ACC_NATIVE | ACC_ABSTRACT))
            continue;
        u4 kind = trivMatchingTrivialInvokers(cb, mb);
        if (mb->code_length <= 9)
            mb->jit_flags |= kind & TRIV_KIND_MASK;
    }
}

int trivJudgeSetFlag(method_compile_context* m, EE* ee, methodblock* mb)
{
    if (mb == nullptr)
        return 0;
    classblock* cb = mb->clazz;
    const u1* code = mb->code;
    switch ((mb->jit_flags & TRIV_KIND_MASK) >> TRIV_KIND_SHIFT) {
    case 1:
    case 2:
        return 1;
    case 3: {
        u4 index = code[1];
        if (index == 0 || index >= cb->constantpool_count)
            return 0;
        const u1* tags = reinterpret_cast<const u1*>(cb->constantpool[0]);
        u1 tag = tags[index] & CONSTANT_TAG_MASK;
        if (tag == CONSTANT_Integer || tag == CONSTANT_Float)
            return 1;
        if (tag != CONSTANT_String)
            return 0;
        if (tags[index] & CONSTANT_RESOLVED)
            return 1;
        int ok = vm.ResolveClassConstantFromClass2(cb, static_cast<int>(index), ee, 1u << CONSTANT_String, 0);
        if (ee != nullptr) {
            ee->exception_kind = 0;
            ee->exception = 0;
        }
        return ok ? 1 : 0;
    }
    case 4: {
        fieldblock* fb = field_entry(cb, ee, index16(code, 1));
        return fb != nullptr && (fb->access & ACC_STATIC) ? 1 : 0;
    }
    case 5: {
        fieldblock* fb = field_entry(cb, ee, index16(code, 2));
        if (fb == nullptr || !(fb->access & ACC_STATIC))
            return 0;
        if ((fb->access & ACC_FINAL) && code[1] == BC_PUTSTATIC && fb->clazz != cb)
            return 0;
        return 1;
    }
    case 6:
    case 8: {
        u4 index = code[1] == BC_GETFIELD || code[1] == BC_GETFIELD_QUICK_W ? index16(code, 2) : code[3];
        fieldblock* fb = field_entry(cb, ee, index);
        return fb != nullptr && !(fb->access & ACC_STATIC) ? 1 : 0;
    }
    case 7: {
        u4 index = code[2] == BC_PUTFIELD || code[2] == BC_PUTFIELD_QUICK_W ? index16(code, 3) : code[4];
        fieldblock* fb = field_entry(cb, ee, index);
        if (fb == nullptr || (fb->access & ACC_STATIC))
            return 0;
        if ((fb->access & ACC_FINAL) && code[2] == BC_PUTFIELD && fb->clazz != cb)
            return 0;
        return 1;
    }
    default:
        return 0;
    }
}
