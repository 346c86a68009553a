// Call sequences through method blocks and method tables, and the
// intrinsic replacements of a few library methods (Object.getClass,
// Class.getName, the Math and StrictMath functions with a math-library
// counterpart).
#include "codegen/gen/gen_invoke.h"

#include <string.h>

#include "common_math_decls.h"

namespace {

int writing(codegen_context* cg) { return cg->pass == CG_PASS_WRITE; }

u1* site_here(codegen_context* cg) { return writing(cg) ? cg->code : nullptr; }

void aim_short(codegen_context* cg, u1* site, u1* target)
{
    if (site != nullptr)
        site[-1] = (u1)(target - site);
}

// The math-library functions compiled code calls directly (cdecl, double
// arguments on the stack, result in st(0)).  They live in the VM; a library
// loaded without them declines the replacement.
struct math_entry {
    const char* name;
    double (*fn1)(double);
    double (*fn2)(double, double);
};

const math_entry math_dd[] = {
    {"sin", jsin, nullptr},     {"cos", jcos, nullptr},     {"tan", jtan, nullptr},
    {"asin", jasin, nullptr},   {"acos", jacos, nullptr},   {"atan", jatan, nullptr},
    {"exp", jexp, nullptr},     {"rint", jrint, nullptr},   {"floor", jfloor, nullptr},
    {"ceil", jceil, nullptr},   {"log", jlog, nullptr},     {"sqrt", jsqrt, nullptr},
    {"cosh", jcosh, nullptr},   {"sinh", jsinh, nullptr},   {"tanh", jtanh, nullptr},
    {"log10", jlog10, nullptr}, {"abs", jfabs, nullptr},
};

const math_entry math_ddd[] = {
    {"pow", nullptr, jpow},
    {"atan2", nullptr, jatan2},
    {"IEEEremainder", nullptr, jremainder},
    {"fmod", nullptr, jmod},
};

int is_math_class(const char* cls)
{
    return cls != nullptr && (strcmp(cls, "java/lang/Math") == 0 || strcmp(cls, "java/lang/StrictMath") == 0);
}

const char* class_name(methodblock* m) { return m->clazz != nullptr ? m->clazz->name : nullptr; }

int is_method(methodblock* m, const char* cls, const char* name, const char* sig)
{
    const char* c = class_name(m);
    return c != nullptr && strcmp(c, cls) == 0 && strcmp(m->name, name) == 0 && strcmp(m->signature, sig) == 0;
}

} // namespace

void gen_call_compiled_slot(codegen_context* cg, methodblock* mb)
{
    // FF /2 with an absolute address: the slot is read at each call.
    u1* p = cg->code;
    p[0] = OP_GRP5;
    int n = 1 + modrm_and_sib(cg, p + 1, DIGIT(DIGIT_CALL_IND), 0, 0, 0, (s4)(uintptr_t)&mb->compiled_code, 0, 1);
    cg_emitted(cg, n);
}

void gen_call_virtual_slot(codegen_context* cg, u4 recv, u4 t, u4 slot)
{
    _gen_move_gr_mm(cg, t, recv, 0, 0, 0);
    _gen_move_gr_mm(cg, t, t, 0, 0, (s4)(4 + 4 * slot));
    _gen_call_indirect(cg, t, INVOKE_MB_COMPILED);
}

void gen_explicit_nullpointer_check_reg(codegen_context* cg, u4 reg)
{
    _gen_cmp_gr_mm(cg, reg, reg, 0);
}

int gen_special_JNI_math_call(codegen_context* cg, const char* cls, const char* name, const char* sig)
{
    if (!is_math_class(cls) || name == nullptr || sig == nullptr)
        return 0;
    if (strcmp(sig, "(D)D") == 0) {
        for (const math_entry& e : math_dd) {
            if (strcmp(name, e.name) == 0) {
                if (e.fn1 == nullptr)
                    return 0;
                _gen_call_(cg, (u4)(uintptr_t)e.fn1);
                return 1;
            }
        }
        return 0;
    }
    if (strcmp(sig, "(DD)D") == 0) {
        if (strcmp(name, "max") == 0 || strcmp(name, "min") == 0)
            return 0;
        const math_entry* hit = nullptr;
        for (const math_entry& e : math_ddd)
            if (strcmp(name, e.name) == 0)
                hit = &e;
        // Unknown names decline before anything is written: exchanging the
        // arguments and then making the ordinary call would hand the callee
        // its arguments in the wrong order.
        if (hit == nullptr || hit->fn2 == nullptr)
            return 0;
        // Java puts the first argument at the higher address; C wants it at [esp].
        _gen_move_fr8_mm(cg, GR_ESP, 0, 0, 0);
        _gen_move_fr8_mm(cg, GR_ESP, 0, 0, 8);
        _gen_move_mm_fr8(cg, GR_ESP, 0, 0, 0, 1);
        _gen_move_mm_fr8(cg, GR_ESP, 0, 0, 8, 1);
        _gen_call_(cg, (u4)(uintptr_t)hit->fn2);
        return 1;
    }
    return 0;
}

int gen_intrinsic_invoke(codegen_context* cg, methodblock* m)
{
    if (m == nullptr)
        return 0;
    if (is_method(m, "java/lang/Object", "getClass", "()Ljava/lang/Class;")) {
        // object -> method table -> class block (the Class object); arrays
        // (word 0 is their length) take the real call.
        _gen_ARITHMETIC_xmm_i4(cg, ALU_TEST, GR_EAX, 0, 0, INVOKE_OBJ_FLAGS, INVOKE_OBJ_FLAG_ARRAY, SIZE_BYTE);
        _gen_jmpcc(cg, COND_NE, UNRESOLVED_TARGET, 1);
        u1* call_site = site_here(cg);
        _gen_move_gr_mm(cg, GR_EAX, GR_EAX, 0, 0, 0);
        _gen_move_gr_mm(cg, GR_EAX, GR_EAX, 0, 0, 0);
        _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
        u1* done_site = site_here(cg);
        aim_short(cg, call_site, site_here(cg));
        gen_call_compiled_slot(cg, m);
        aim_short(cg, done_site, site_here(cg));
        return 1;
    }
    if (is_method(m, "java/lang/Class", "getName", "()Ljava/lang/String;")) {
        _gen_cmp_mm_imm(cg, GR_EAX, 0, 0, INVOKE_CB_NAME_STRING, 0, SIZE_DWORD);
        _gen_jmpcc(cg, COND_EQ, UNRESOLVED_TARGET, 1);
        u1* call_site = site_here(cg);
        _gen_move_gr_mm(cg, GR_EAX, GR_EAX, 0, 0, INVOKE_CB_NAME_STRING);
        _gen_jmpcc(cg, COND_ALWAYS, UNRESOLVED_TARGET, 1);
        u1* done_site = site_here(cg);
        aim_short(cg, call_site, site_here(cg));
        gen_call_compiled_slot(cg, m);
        aim_short(cg, done_site, site_here(cg));
        return 1;
    }
    if (is_math_class(class_name(m)))
        return gen_special_JNI_math_call(cg, class_name(m), m->name, m->signature);
    return 0;
}
