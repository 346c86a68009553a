// The code around a method: entry alignment, the interpreter entry glue, the
// pre-header, the prologue (frame, callee-saved registers, exception
// registration, stack probes, profiler entry event, synchronized entry), the
// frame release of the returns with the profiler exit event and the
// synchronized exit, and the two gate stubs every method gets at class
// preparation.
//
// Head of a method in address order: NOP padding so that the entry point is
// 16-byte aligned; the interpreter entry glue (the invoker: ecx = argument
// words, arguments on the stack, word 0 highest), which loads the register
// arguments of the compiled convention and jumps over the pre-header; the
// 10-byte pre-header; the entry point that compiled callers call.
//
// The glue loads its registers through edi and, for Java methods, sets the
// thread's execution mode through esi, before any callee-saved register is
// saved: callers of an invoker must not expect esi and edi to survive (the
// VM saves them around every invoker call).
#include <stdio.h>
#include <stdlib.h>

#include "codegen/cg_core.h"
#include "codegen/glue/gen_glue.h"
#include "driver/driver.h"
#include "lib/descriptor.h"

extern "C" void rt_missing_routine(void) __attribute__((weak));

// Start-up variables are read through weak references: the code-generation
// core's unit tests link the core without the start-up code (absent, they
// read as profiling off, one processor, no profiler services).
#pragma weak jit_jvmpi_internal_flags
#pragma weak orva_processor_num

u4 glue_profiler_flags(void) { return &jit_jvmpi_internal_flags != nullptr ? jit_jvmpi_internal_flags : 0; }
static s4 processor_count(void) { return &orva_processor_num != nullptr ? orva_processor_num : 1; }
static u4 entry_event_service(void)
{
    return (u4)(uintptr_t)vm.jvmpi_method_entry;
}
static u4 exit_event_service(void)
{
    return (u4)(uintptr_t)vm.jvmpi_method_exit;
}

// E-relative frame address x as an esp displacement.
static s4 at(codegen_context* cg, s4 x) { return x - cg->mci->sp_offset; }

int rt_routine_present(int k)
{
    void** table = _GET_DECODE_TABLE_BASE();
    if (table == nullptr || table[k] == nullptr)
        return 0;
    return table[k] != reinterpret_cast<void*>(&rt_missing_routine) || &rt_missing_routine == nullptr;
}

// ---------------------------------------------------------------------------
// Register-passed argument words
// ---------------------------------------------------------------------------
// Float and double words do not count towards the three registers; a
// malformed descriptor stops the walk at its broken parameter.
int glue_register_words(methodblock* mb, int words[3])
{
    int count = 0;
    int w = 0;
    if (!(mb->access & GLUE_ACC_STATIC)) {
        words[count++] = 0;
        w = 1;
    }
    desc_walk walk = desc_begin(mb->signature);
    while (count < 3) {
        desc_item t = desc_next(&walk);
        if (t.kind <= DK_MALFORMED)
            break;
        if (!desc_is_float(t.kind)) {
            words[count++] = w;
            if (t.words == 2 && count < 3)
                words[count++] = w + 1;
        }
        w += t.words;
    }
    return count;
}

// ---------------------------------------------------------------------------
// Entry alignment, interpreter glue, pre-header
// ---------------------------------------------------------------------------
void adjust_method_entry_point(codegen_context* cg, methodblock* mb, u4* pad)
{
    (void)mb;
    _make_code_align(cg, (int)(*pad + 10), 16);
}

void gen_change_execmode(codegen_context* cg, int mode)
{
    _gen_get_ee(cg, GR_ESI | REG_NOREC);
    _gen_move_mm_i4(cg, GR_ESI | REG_NOREC, 0, 0, GLUE_EE_MODE, mode, SIZE_DWORD);
}

// Writes the glue and returns its length without the padding.  `pad` is the
// length the glue must fill (0 while measuring).
u4 glue_length(codegen_context* cg, u4 pad)
{
    u4 start_size = cg->code_size;
    u1* start = cg->code;
    methodblock* mb = cg->mb;
    int words[3];
    int count = glue_register_words(mb, words);
    _gen_lea_gr_mm(cg, GR_EDI | REG_NOREC, GR_ESP, GR_ECX | REG_NOREC, 4, 0);
    if (!(mb->access & GLUE_ACC_NATIVE))
        gen_change_execmode(cg, 1);
    static const u4 regs[3] = {GR_EAX, GR_EDX, GR_ECX};
    for (int i = count - 1; i >= 0; i--)
        _gen_move_gr_mm(cg, regs[i], GR_EDI | REG_NOREC, 0, 0, -4 * words[i]);
    u4 body = cg->pass == CG_PASS_MEASURE ? cg->code_size - start_size : (u4)(cg->code - start);
    u4 length = body + 2;
    u4 fill = pad > length ? pad - length : 0;
    if (cg->pass != CG_PASS_MEASURE && pad != 0 && pad < length) {
        cg_internal_error("interpreter glue of %s%s needs %u bytes, %u reserved", mb->name, mb->signature,
                          length, pad);
    }
    // jmp short over the padding and the pre-header to the entry point.
    cg->code[0] = OP_JMP_REL8;
    cg->code[1] = (u1)(fill + 10);
    cg_emitted(cg, 2);
    if (cg->pass != CG_PASS_MEASURE && fill != 0)
        _gen_nop(cg, (int)fill);
    return length;
}

void gen_glue4interpreter(codegen_context* cg, u4 pad) { glue_length(cg, pad); }

void gen_method_pre_header(codegen_context* cg, method_compile_context* m)
{
    (void)m;
    _gen_call(cg, RT_BACKPATCH_INVOCATION);
    _gen_nop(cg, 5);
    if (cg->pass == CG_PASS_MEASURE)
        cg_count_pass1(cg, 5);
}

// ---------------------------------------------------------------------------
// Profiler events
// ---------------------------------------------------------------------------
static int profiling(void) { return (glue_profiler_flags() & 1) != 0; }

void gen_jvmpi_method_entry_hook(codegen_context* cg)
{
    if (!profiling())
        return;
    methodblock* mb = cg->mb;
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_EDX);
    _gen_push(cg, GR_ECX);
    _gen_push_imm(cg, (s4)(uintptr_t)mb);
    if (mb->access & GLUE_ACC_STATIC)
        _gen_push_imm(cg, (s4)(uintptr_t)mb->clazz);
    else
        _gen_push(cg, GR_EAX);
    _gen_get_ee(cg, GR_EAX);
    _gen_push(cg, GR_EAX);
    _gen_call_(cg, entry_event_service());
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 12, SIZE_DWORD);
    _gen_pop(cg, GR_ECX);
    _gen_pop(cg, GR_EDX);
    _gen_pop(cg, GR_EAX);
}

void gen_jvmpi_method_exit_hook(codegen_context* cg)
{
    if (!profiling())
        return;
    _gen_push(cg, GR_EAX);
    _gen_push(cg, GR_EDX);
    _gen_push(cg, GR_ECX);
    _gen_push_imm(cg, (s4)(uintptr_t)cg->mb);
    _gen_get_ee(cg, GR_EAX);
    _gen_push(cg, GR_EAX);
    _gen_call_(cg, exit_event_service());
    _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, 8, SIZE_DWORD);
    _gen_pop(cg, GR_ECX);
    _gen_pop(cg, GR_EDX);
    _gen_pop(cg, GR_EAX);
}

// ---------------------------------------------------------------------------
// Synchronized methods
// ---------------------------------------------------------------------------
int sync_enter_routine(methodblock* mb)
{
    int words[3];
    int count = glue_register_words(mb, words);
    int shape = count <= 1 ? 0 : count - 1;
    int k = RT_SYNC_ENTER_FIRST + shape;
    if (mb->exception_table_length != 0)
        k += 15;
    if (processor_count() > 1)
        k += 30;
    return k;
}

int sync_exit_routine(methodblock* mb, int kind)
{
    int r = kind == 'I' ? 1 : kind == 'J' ? 2 : kind == 'D' ? 3 : 0;
    int k = RT_SYNC_EXIT_FIRST + r;
    if (mb->exception_table_length != 0)
        k += 4;
    if (processor_count() > 1)
        k += 8;
    return k;
}

void _gen_rt_regarg_call(codegen_context* cg, int k) { _gen_call(cg, k); }

u4 gen_monitor_enter(codegen_context* cg)
{
    methodblock* mb = cg->mb;
    int is_static = (mb->access & GLUE_ACC_STATIC) != 0;
    int keep_eax = is_static && mb->args_size != 0;
    u4 n = 0;
    if (keep_eax)
        n += (u4)_gen_push(cg, GR_EAX);
    if (is_static)
        n += (u4)_gen_move_gr_i4(cg, GR_EAX, (s4)(uintptr_t)mb->clazz);
    n += (u4)_gen_lea_gr_mm(cg, GR_EBP, GR_ESP, 0, 0, at(cg, 0));
    _gen_rt_regarg_call(cg, sync_enter_routine(mb));
    n += 5;
    if (keep_eax)
        n += (u4)_gen_pop(cg, GR_EAX);
    return n;
}

u4 gen_monitor_exit(codegen_context* cg, int kind)
{
    u4 n = (u4)_gen_lea_gr_mm(cg, GR_EBP, GR_ESP, 0, 0, at(cg, 0));
    _gen_rt_regarg_call(cg, sync_exit_routine(cg->mb, kind));
    return n + 5;
}

// ---------------------------------------------------------------------------
// Prologue and frame release
// ---------------------------------------------------------------------------
u4 gen_frame_allocation(codegen_context* cg)
{
    u4 before = cg->pass == CG_PASS_MEASURE ? cg->code_size : 0;
    u1* start = cg->code;
    u4 size = glue_frame_size(cg);
    if (size == 0)
        return 0;
    _gen_ARITHMETIC_xgr_i4(cg, ALU_SUB, GR_ESP, (s4)size, SIZE_DWORD);
    save_callee_saved_regs(cg);
    if (cg->mb->exception_table_length != 0) {
        // The method's exception registration at E-20 .. E-1; TLA word 0
        // then points at E-16.
        _gen_move_gr_fs(cg, GR_EBX, 0);
        _gen_move_mm_i4(cg, GR_ESP, 0, 0, at(cg, -4), -1, SIZE_DWORD);
        _gen_move_mm_i4(cg, GR_ESP, 0, 0, at(cg, -12), (s4)0xDEADBEEF, SIZE_DWORD);
        if (cg->pass == CG_PASS_WRITE)
            cg->mci->handler_entry_slot = reinterpret_cast<u4*>(cg->code - 4);
        _gen_move_mm_gr(cg, GR_ESP, 0, 0, at(cg, -16), GR_EBX, SIZE_DWORD);
        _gen_move_gr_mm(cg, GR_EBX, GR_EBX, 0, 0, -4);
        _gen_move_mm_gr(cg, GR_ESP, 0, 0, at(cg, -20), GR_EBX, SIZE_DWORD);
        _gen_lea_gr_mm(cg, GR_EBX, GR_ESP, 0, 0, at(cg, -16));
        _gen_move_fs_gr(cg, GR_EBX);
        _gen_move_mm_i4(cg, GR_ESP, 0, 0, at(cg, -8), 0, SIZE_DWORD);
    }
    return cg->pass == CG_PASS_MEASURE ? cg->code_size - before : (u4)(cg->code - start);
}

void gen_method_prolog(codegen_context* cg, u4* pad)
{
    cg->mci->sp_offset = 0;
    u4 length = glue_length(cg, cg->pass == CG_PASS_MEASURE ? 0 : *pad);
    if (cg->pass == CG_PASS_MEASURE)
        *pad = length;
    gen_method_pre_header(cg, cg->m);
    gen_frame_allocation(cg);
    _gen_cmp_gr_mm(cg, GR_ESP, GR_ESP, -0x1000);
    _gen_cmp_gr_mm(cg, GR_ESP, GR_ESP, -0x2000);
    gen_jvmpi_method_entry_hook(cg);
    if (cg->mb->access & GLUE_ACC_SYNCHRONIZED)
        gen_monitor_enter(cg);
}

void gen_frame_deallocation(codegen_context* cg)
{
    gen_jvmpi_method_exit_hook(cg);
    if (glue_frame_size(cg) != 0 && cg->mci->sp_offset != 0)
        _gen_ARITHMETIC_xgr_i4(cg, ALU_ADD, GR_ESP, -cg->mci->sp_offset, SIZE_DWORD);
}

// ---------------------------------------------------------------------------
// Gate stubs
// ---------------------------------------------------------------------------
static void write_gate(u1* p, methodblock* mb, void* routine)
{
    p[0] = OP_PUSH_IMM32;
    cg_write32(p + 1, (u4)(uintptr_t)mb);
    p[5] = OP_JMP_REL32;
    cg_write32(p + 6, (u4)(uintptr_t)routine - (u4)(uintptr_t)(p + 10));
}

// The two gate stubs in the method's glue area: +0 leads to the back-patching
// gate, +10 to the plain gate, which the compiled-code slot names until the
// method is compiled.  Without a glue area or without the gate routines
// nothing is written and the slot keeps its value.
int JITGenCode_glue(methodblock* mb)
{
    u1* area = static_cast<u1*>(mb->compiled_code_info);
    if (area == nullptr || !rt_routine_present(RT_GATE_CODE) || !rt_routine_present(RT_BP_GATE_CODE))
        return 0;
    void** table = _GET_DECODE_TABLE_BASE();
    write_gate(area, mb, table[RT_BP_GATE_CODE]);
    write_gate(area + 10, mb, table[RT_GATE_CODE]);
    cg_write32(area + 28, 0);
    mb->compiled_code = area + 10;
    mb->access = (u2)(mb->access & ~GLUE_ACC_COMPILED);
    return 10;
}
