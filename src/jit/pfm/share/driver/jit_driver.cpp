// The compile driver.
//
// `_jit_fast_compile` takes one compile request on the Java thread that made
// it (from the compile trampoline or a gate) and carries it from the filters
// to installed code: it pushes a thread compile record and a transition
// record on the EE (so walkers see the method being compiled), registers an
// empty placeholder committed-code record, records the method's unresolved
// references and call graph, takes the global compile lock, applies the
// method's options, runs `compile_method` and releases everything the
// compilation used.  Any failure leaves the method with an interpreter invoker
// and its counter at 0xFFFF, so the VM never asks again.
//
// Two sigjmp_bufs serve work-memory exhaustion: the driver's own until the
// attempt loop starts, the attempt loop's during an attempt.  The compile
// record's jump word is put back to the driver's buffer as soon as
// compile_method returns, and the driver's handler releases the global lock
// when it holds it, so a late exhaustion never jumps into a dead frame or
// leaves the lock taken.  The root compile context lives in compile_method's
// frame for all attempts; nothing reads a context freed with a pool.
//
// No object with a destructor lives in these frames: a longjmp crosses them.
#include <stdlib.h>
#include <string.h>

#include "driver/driver.h"
#include "frontend/frontend.h"

namespace {

const char* class_name_of(const methodblock* mb) { return mb->clazz != nullptr ? mb->clazz->name : "?"; }

int set_frame_mode(EE* ee, int mode)
{
    if (vm.FrameIntf == nullptr || vm.FrameIntf[FI_SET_MODE] == 0)
        return 0;
    return reinterpret_cast<orva_fi_set_mode_fn>(vm.FrameIntf[FI_SET_MODE])(ee, mode);
}

void profiler_event(u4 type, methodblock* mb, EE* ee)
{
    u4 record[8] = {type, reinterpret_cast<u4>(ee), reinterpret_cast<u4>(mb), 0, 0, 0, 0, 0};
    vm.jvmpi_generic_event(record);
}

bool profiler_word1(u4 bit)
{
    return orva_jvmpi_info != nullptr && (orva_jvmpi_info->words[1] & bit) && vm.jvmpi_generic_event != nullptr;
}

bool has_transfer_point(methodblock* mb, u4 transfer_point)
{
    return (mb->compiled_flags & MBC_TRANSFER_POINT) && is_existence_of_transfer_point(mb, transfer_point);
}

// The code memory of an attempt that installed nothing: no record refers to
// it, so it goes back at once (a catch table it holds is unhooked first).
void release_attempt_code(method_compile_context* m)
{
    if (m->code_mem_chain == nullptr)
        return;
    methodblock* mb = m->mb;
    if (mb->exception_table_length != 0 && mb->exception_table != nullptr)
        reinterpret_cast<exception_entry*>(mb->exception_table)[0].compiled_table = 0;
    jit_code_mem_free_chain(m->code_mem_chain);
    m->code_mem_chain = nullptr;
}

// Fresh state for another attempt: everything but what the driver set.
void reset_context(method_compile_context* m)
{
    methodblock* mb = m->mb;
    method_unresolved_info* info = m->unresolved_info;
    void* chain = m->code_mem_chain;
    u4 transfer_point = m->transfer_point;
    u4 mmi2jit = m->state_flags & MCC_MMI2JIT;
    memset(m, 0, sizeof *m);
    m->mb = mb;
    m->unresolved_info = info;
    m->code_mem_chain = chain;
    m->transfer_point = transfer_point;
    m->state_flags = mmi2jit;
}

} // namespace

extern "C" void jit_mmi_global_compile_lock(EE* ee)
{
    vm.sysMonitorEnter(orva_sys_thread(ee), orva_global_lock);
}

extern "C" void jit_mmi_global_compile_unlock(EE* ee)
{
    vm.sysMonitorExit(orva_sys_thread(ee), orva_global_lock);
}

void jit_fast_compile_free_workspace(method_compile_context* m)
{
    if (m->use_count != 1) {
        if (m->use_count > 0)
            m->use_count--;
        return;
    }
    m->use_count = 0;
    if (m->pool3 != nullptr)
        jit_wmem_free(m->pool3);
    m->pool3 = nullptr;
    if (m->pool1 != nullptr)
        jit_wmem_free(m->pool1);
    m->pool1 = nullptr;
}

void revert_to_interpreter_invoker(EE* ee, methodblock* mb)
{
    mb->counter = MB_COUNTER_NEVER;
    bool sync = mb->access & ACC_SYNCHRONIZED;
    if (mb->access & ACC_ABSTRACT) {
        mb->invoker = vm.invokeAbstractMethod;
    } else if (!(mb->access & ACC_NATIVE)) {
        if (mb->exception_table_length != 0)
            mb->invoker = sync ? vm.invokeSynchronizedJavaMethodWithCatch : vm.invokeJavaMethodWithCatch;
        else
            mb->invoker = sync ? vm.invokeSynchronizedJavaMethod : vm.invokeJavaMethod;
    } else if (mb->invoker == vm.SelectInvokeLazyNativeMethod) {
        mb->invoker = vm.invokeLazyNativeMethod;
    } else if (sync) {
        mb->invoker = vm.invokeJNISynchronizedNativeMethod;
    } else {
        void* custom = vm.mmijGetCustomSelectInvoker != nullptr ? vm.mmijGetCustomSelectInvoker(ee, mb, 0) : nullptr;
        mb->invoker = custom != nullptr ? custom : vm.invokeJNINativeMethod;
    }
    ForceCCtoInvokeInterpreterFromJIT(mb);
}

u4 parse_hex_option_mask(u4 fallback, const char* text)
{
    if (text == nullptr)
        return fallback;
    u4 value = 0;
    for (int i = 0; i < 16 && text[i] != '\0'; i++) {
        char c = text[i];
        value <<= 4;
        if (c >= '1' && c <= '9')
            value |= static_cast<u4>(c - '0');
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<u4>(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<u4>(c - 'a' + 10);
    }
    return value;
}

void break_before(methodblock* mb)
{
    printf("---> break_before: {%s}{%s%s}\n", class_name_of(mb), mb->name, mb->signature);
}

namespace {

// The attempt loop: level 2 first, one level lower after each failure (the
// give-up flag drops to 1 at once), so one attempt runs per request.  A
// longjmp out of an attempt frees the pools that attempt made.  The compile
// record's jump word points at this frame only while it runs.
int run_attempts(methodblock* mb, method_compile_context* ctx, EE* ee, u4 extra)
{
    thread_compile_record* rec = jit_compile_record(ee);
    method_compile_context* holder = ctx;
    sigjmp_buf attempt_buf;
    sigjmp_buf* outer = rec->jump;
    work_pool* pools_before = rec->pools;
    volatile int result = 1;
    volatile int level = 2;
    volatile bool first = true;
    rec->jump = &attempt_buf;
    while (result == 1 && level > 1) {
        if (!first)
            reset_context(ctx);
        first = false;
        ctx->stack_map_word = 0;
        if (sigsetjmp(attempt_buf, 0) == 0) {
            if (mb->access & (ACC_NATIVE | ACC_ABSTRACT)) {
                result = JITGenNativeCode_glue(mb, &holder);
                if (result == 1)
                    jit_note_giveup("method glue");
            } else
                result = JITGenNativeCode(mb, &holder, level, extra);
            if (result == 1)
                level = (ctx->state_flags & MCC_GIVE_UP) ? 1 : level - 1;
        } else {
            // Work memory ran out (or an internal abort) inside the attempt:
            // its pools go, the request's own stay.
            jit_wmem_free_newer_than(ee, pools_before);
            jit_note_giveup("work memory exhausted or internal abort");
            result = 1;
            level = level - 1;
        }
    }
    rec->jump = outer;
    return result;
}

// Installs what a successful attempt published; answers 1 when it published
// no code (the zeroed words must never become the method's invoker).
int install(methodblock* mb, method_compile_context* ctx, rcc* record, EE* ee)
{
    thread_compile_record* rec = jit_compile_record(ee);
    if (rec->compiled_entry == nullptr || rec->invoker_entry == nullptr)
        return (mb->access & ACC_COMPILED) ? 0 : 1;
    register_committed_code(record, ctx, rec->code_start, rec->code_end, rec->cp2imf, rec->exc_cp2imf);
    if (ctx->state_flags & MCC_MMI2JIT)
        mb->compiled_flags |= MBC_TRANSFER_POINT;
    if (orva_jvmpi_info != nullptr && orva_jvmpi_info->words[0] != 0
        && (orva_jvmpi_info->words[0] & JVMPI_W0_LOAD_EVENTS) && vm.jvmpi_load_compiled_method != nullptr) {
        u4 load[5] = {reinterpret_cast<u4>(ee), reinterpret_cast<u4>(rec->code_start),
                      static_cast<u4>(rec->code_end - rec->code_start), 0, 0};
        vm.jvmpi_load_compiled_method(load);
    }
    mb->compiled_flags |= MBC_CODE_INSTALLED;
    mb->compiled_code = rec->compiled_entry;
    mb->invoker = rec->invoker_entry;
    mb->access |= ACC_COMPILED;
    return 0;
}

} // namespace

int compile_method(methodblock* mb, method_unresolved_info* info, EE* ee, u4 extra, u4 transfer_point)
{
    method_compile_context ctx;
    memset(&ctx, 0, sizeof ctx);
    ctx.mb = mb;
    ctx.unresolved_info = info;
    const char* suffix = transfer_point != 0 ? " MMI2JIT" : "";
    if (compile_option_flag & OPT1_COMPILING)
        printf("Compiling [%s][%s]%s\n", class_name_of(mb), mb->name, suffix);
    jit_hist_printf("Compiling %8.8x [%s][%s] %s%s\n", reinterpret_cast<u4>(mb), class_name_of(mb), mb->name,
                    mb->signature, suffix);
    if (profiler_word1(JVMPI_W1_COMPILE_START_EVENTS))
        profiler_event(JVMPI_EVENT_COMPILE_START, mb, ee);
    ctx.transfer_point = transfer_point;
    jit_giveup_reason = nullptr;
    if (transfer_point != 0)
        ctx.state_flags |= MCC_MMI2JIT;

    int result = 1;
    void* record = nullptr;
    jit_code_mem_alloc(&record, &ctx, static_cast<u4>(sizeof_rcc));
    if (record != nullptr) {
        jit_code_mem_partial_free(record, static_cast<u1*>(record) + sizeof_rcc);
        result = run_attempts(mb, &ctx, ee, extra);
        if (result == 0)
            result = install(mb, &ctx, static_cast<rcc*>(record), ee);
    }
    if (result != 0)
        release_attempt_code(&ctx);
    if (result == 0 && (mb->access & ACC_COMPILED)) {
        if (compile_option_flag & OPT1_COMPILING)
            printf("%8.8x  [%s][%s]\n", reinterpret_cast<u4>(mb->compiled_code), class_name_of(mb), mb->name);
        jit_hist_printf("%8.8x  %8.8x [%s][%s] %s\n", reinterpret_cast<u4>(mb->compiled_code), ctx.code_size,
                        class_name_of(mb), mb->name, mb->signature);
    }
    if (result != 0)
        jit_hist_printf("Gave up %8.8x [%s][%s] %s: %s\n", reinterpret_cast<u4>(mb), class_name_of(mb), mb->name,
                        mb->signature, jit_giveup_reason != nullptr ? jit_giveup_reason : "unknown");
    if (result == 0 && !(mb->access & (ACC_NATIVE | ACC_ABSTRACT)))
        jit_fast_compile_free_workspace(&ctx);
    if (profiler_word1(JVMPI_W1_COMPILE_END_EVENTS))
        profiler_event(JVMPI_EVENT_COMPILE_END, mb, ee);
    return result;
}

namespace {

// What the driver keeps across a longjmp to its own buffer.
struct request_state {
    volatile int lock_held;
    volatile u4 saved[3];       // the option words before the method's own
};

void restore_options_and_unlock(EE* ee, request_state* st)
{
    compile_option_flag = st->saved[0];
    compile_option2_flag = st->saved[1];
    compile_option3_flag = st->saved[2];
    st->lock_held = 0;
    jit_mmi_global_compile_unlock(ee);
}

// Steps under the global compile lock: the method's options, the skip
// filters, the compile, the options restored.
int compile_under_lock(methodblock* mb, EE* ee, method_unresolved_info* info, u4 transfer_point, u4 extra,
                       thread_compile_record* rec, sigjmp_buf* driver_buf, request_state* st)
{
    jit_mmi_global_compile_lock(ee);
    st->lock_held = 1;
    st->saved[0] = compile_option_flag;
    st->saved[1] = compile_option2_flag;
    st->saved[2] = compile_option3_flag;
    const char* cname = class_name_of(mb);
    if (skipsubopt == SKIPSUB_HEX && matching_skipcbname_skipmbname(cname, mb->name)) {
        compile_option_flag = parse_hex_option_mask(compile_option_flag, getenv("ORVA_SKIPHEX1"));
        compile_option2_flag = parse_hex_option_mask(compile_option2_flag, getenv("ORVA_SKIPHEX2"));
        compile_option3_flag = parse_hex_option_mask(compile_option3_flag, getenv("ORVA_SKIPHEX3"));
        printf("\tFlags set to:\t%08x\t%08x\t%08x\n", compile_option_flag, compile_option2_flag,
               compile_option3_flag);
        // One write per line: Java output goes to the same descriptor unbuffered.
        fflush(stdout);
    }
    if (optionsSet) {
        activateOptions(cname, mb->name, mb->signature);
        if (queryOption("break_before"))
            break_before(mb);
        jit_apply_method_options(&compile_option_flag, &compile_option2_flag, &compile_option3_flag);
    }
    int result;
    if (mb->access & ACC_COMPILED) {
        // Another thread compiled it while this one waited for the lock.
        result = transfer_point == 0 || has_transfer_point(mb, transfer_point) ? 0 : 1;
    } else if ((optionsSet && queryOption("SKIP"))
               || (skipsubopt == SKIPSUB_OFF && matching_skipcbname_skipmbname(cname, mb->name))) {
        printf("Skipped Compiling [%s][%s]\n", cname, mb->name);
        result = 1;
    } else {
        unsigned long long started = jit_compile_time_start();
        result = compile_method(mb, info, ee, extra, transfer_point);
        rec->jump = driver_buf;     // nothing may jump into the attempt loop's dead frame
        jit_compile_time_add(mb, started, result);
        if (result == 1)
            revert_to_interpreter_invoker(ee, mb);
    }
    if (optionsSet && queryOption("break_after"))
        printf("---> break_after:  {%s}{%s%s}\n", cname, mb->name, mb->signature);
    restore_options_and_unlock(ee, st);
    return result;
}

} // namespace

extern "C" int _jit_fast_compile(methodblock* mb, EE* ee, u4 transfer_point, u4 extra)
{
    u4 placeholder_storage[(RCC_SIZE + 3) / 4];
    auto* placeholder = reinterpret_cast<rcc*>(placeholder_storage);
    if (ee->exception_kind != 0) {
        revert_to_interpreter_invoker(ee, mb);
        return 1;
    }
    if (transfer_point != 0) {
        if (compile_option2_flag & OPT2_NMMI2JIT)
            return 1;
        if (skipsubopt == SKIPSUB_NMMI2JIT && matching_skipcbname_skipmbname(class_name_of(mb), mb->name)) {
            printf("Stopped MMI2JIT Transfer for [%s][%s]\n", class_name_of(mb), mb->name);
            return 1;
        }
    }
    if (mb->access & ACC_COMPILED) {
        if (transfer_point == 0)
            return 0;
        return has_transfer_point(mb, transfer_point) ? 0 : 1;
    }

    // The thread compile record, the frame marker and the transition record.
    sigjmp_buf driver_buf;
    thread_compile_record rec;
    frame_marker marker;
    method_unresolved_info info;
    u4 transition[4];
    memset(&rec, 0, sizeof rec);
    rec.prev = jit_compile_record(ee);
    rec.jump = &driver_buf;
    ee->compile_record = &rec;
    u4 prev_head = ee->transition;
    const u4* prev_record = reinterpret_cast<const u4*>(prev_head & ~TR_TAG_MASK);
    marker.mb = mb;
    marker.flags[0] = marker.flags[1] = FRAME_MARKER_FLAG;
    marker.pad = 0;
    marker.last_word = &marker.distance;
    marker.zero = 0;
    marker.distance =
        prev_record != nullptr ? ((prev_record[1] & ~1u) - 4 - reinterpret_cast<u4>(&marker)) / 4 : 0;
    // The marker's flag bytes read as a one-entry stack-depth table (offset
    // 0 -> `distance`): the placeholder takes it as its own, so a walker
    // that finds the method being compiled at the marker steps from there to
    // the frame of the previous record.  Only the placeholder keeps it.
    rec.md_word1 = reinterpret_cast<u4>(&marker.flags[0]);
    register_committed_code0(placeholder, mb, reinterpret_cast<u1*>(mb), reinterpret_cast<u1*>(mb), nullptr, nullptr);
    rec.md_word1 = 0;
    transition[0] = prev_head;
    transition[1] = reinterpret_cast<u4>(&marker) | 1u;
    transition[2] = 0;      // unused by walkers
    transition[3] = prev_record != nullptr ? prev_record[3] : 0;
    ee->transition = reinterpret_cast<u4>(transition);
    rec.marker = &marker;
    rec.mb = mb;
    int old_mode = set_frame_mode(ee, EE_MODE_COMPILING);
    initialize_method_unresolved_info(&info);

    request_state st;
    st.lock_held = 0;
    volatile int result = 1;
    if (sigsetjmp(driver_buf, 0) != 0) {
        // Work memory ran out outside an attempt.
        if (st.lock_held)
            restore_options_and_unlock(ee, &st);
        revert_to_interpreter_invoker(ee, mb);
        result = 1;
    } else {
        resolve_method_call_graph(mb, &info, ee);
        result = compile_under_lock(mb, ee, &info, transfer_point, extra, &rec, &driver_buf, &st);
    }

    free_method_unresolved_info(&info);
    jit_wmem_clean_after_compilation(ee);
    set_frame_mode(ee, result == 0 && !(mb->access & ACC_NATIVE) ? EE_MODE_COMPILED : old_mode);
    ee->compile_record = rec.prev;
    ee->transition = transition[0] & ~TR_TAG_MASK;
    rcc* placeholders[1] = {placeholder};
    deregister_committed_code(placeholders, 1);
    return result;
}
