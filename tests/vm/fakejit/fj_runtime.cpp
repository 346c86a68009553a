// Run time of the test-double compiler: the committed-code registry, the
// compile decisions behind the trampoline, the invoker-ABI checker, and the
// exception handler with the filters for the VM's interpreter registrations.
//
// The handler follows the documented protocol: it walks the registration
// chain from the one it was called with; an interpreter registration with a
// method block is filtered by asking the VM for a handler in that activation
// (orva_mmipExceptionMethodHandler) and resuming in the VM's restart stub, a
// frame-less one resumes at its landing word; the one that handles the event
// becomes the chain head and the transition records below the resume stack
// pointer are dropped.  While the thread runs compiled code (mode word
// non-zero) the handler links a fault record, so that a stack walk made
// while it runs (exception construction) sees the faulting compiled frame.
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fakejit.h"

namespace {

constexpr int MAX_CODES = 256;
fj_code codes[MAX_CODES];
int ncodes;                             // published after the entry is complete

u1* code_memory;
u4 code_used;
constexpr u4 CODE_MEMORY_SIZE = 256 * 1024;

// Compile requests seen, per method, in order.
constexpr int MAX_REQUESTS = 512;
struct request {
    methodblock* mb;
    EE* first_thread;                   // the thread that made the first request
    int count;
    int logged_calls;                   // the method's <name>_n static at the request, -1 if none
};
request requests[MAX_REQUESTS];
int nrequests;
pthread_mutex_t requests_lock = PTHREAD_MUTEX_INITIALIZER;  // requests and installation

int failures;
int compiled_methods;
int abi_checks;

// Context offsets (Win32 CONTEXT layout).
constexpr int CTX_CW = 0x1C, CTX_EDI = 0x9C, CTX_ESI = 0xA0, CTX_EBX = 0xA4, CTX_EDX = 0xA8,
              CTX_ECX = 0xAC, CTX_EAX = 0xB0, CTX_EBP = 0xB4, CTX_EIP = 0xB8, CTX_ESP = 0xC4;
inline u4& ctx_word(u1* ctx, int off) { return *reinterpret_cast<u4*>(ctx + off); }

constexpr u4 CODE_THROWN = 0xE000000E;
constexpr u4 CODE_NULL_POINTER = 0xE000000D;
constexpr u4 CODE_DIV0 = 0xE000000F;
constexpr u4 CODE_ARRAY_BOUNDS = 0xE0000002;
constexpr u4 FIRST_SOFTWARE_CODE = 0xE0000001;
constexpr u4 LAST_SOFTWARE_CODE = 0xE0000012;

bool starts_with(const char* s, const char* prefix)
{
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

void fj_print(const char* format, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n > static_cast<int>(sizeof buf) - 1)
        n = sizeof buf - 1;
    if (n > 0) {
        ssize_t w = write(1, buf, static_cast<size_t>(n));
        (void)w;
    }
}

void fj_note_failure(const char* format, ...)
{
    char buf[400];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    __atomic_add_fetch(&failures, 1, __ATOMIC_SEQ_CST);
    fj_print("fakejit: FAILED: %s\n", buf);
}

// ---------------------------------------------------------------------------
// Committed-code registry
// ---------------------------------------------------------------------------

const fj_code* fj_find_code(u4 pc)
{
    int n = __atomic_load_n(&ncodes, __ATOMIC_ACQUIRE);
    for (int i = 0; i < n; i++)
        if (pc >= codes[i].start && pc < codes[i].end)
            return &codes[i];
    return nullptr;
}

extern "C" int fj_pc_in_compiled(u4 pc, methodblock* mb)
{
    const fj_code* c = fj_find_code(pc);
    if (mb)
        return c && c->mb == mb ? 1 : 0;
    return c ? 1 : 0;
}

namespace {

struct template_desc {
    const char* prefix;                 // method-name prefix
    const char* start;
    const char* end;
    // Depth table: pairs of (label, words pushed below the entry esp).
    struct { const char* at; int minus5; u4 depth; } depths[4];
    int ndepths;
};

const template_desc* find_template(const char* name)
{
    static const template_desc table[] = {
        {"fj_abi_", fjt_abi_start, fjt_abi_end,
         {{fjt_abi_ret, 1, 6}, {fjt_abi_ret, 0, 6}}, 2},
        {"fj_call_", fjt_gate_start, fjt_gate_end,
         {{fjt_gate_ret, 1, 2}, {fjt_gate_ret, 0, 2}}, 2},
        {"fj_low_", fjt_low_start, fjt_low_end,
         {{fjt_low_ret, 1, 3}, {fjt_low_ret, 0, 3}}, 2},
        {"fj_athrow", fjt_athrow_start, fjt_athrow_end, {}, 0},
        {"fj_load", fjt_load_start, fjt_load_end, {}, 0},
        {"fj_check", fjt_check_start, fjt_check_end, {}, 0},
        {"fj_divx", fjt_divx_start, fjt_divx_end, {}, 0},
        {"fj_div", fjt_div_start, fjt_div_end, {}, 0},
        {"fj_overflow", fjt_ovf_start, fjt_ovf_end,
         {{fjt_ovf_fault, 0, 1020}, {fjt_ovf_ret, 1, 1020}, {fjt_ovf_ret, 0, 1020}}, 3},
        {"fj_red", fjt_red_start, fjt_red_end, {}, 0},
    };
    for (const template_desc& t : table)
        if (starts_with(name, t.prefix))
            return &t;
    return nullptr;
}

methodblock* find_target(methodblock* mb)
{
    // fj_call_<x> and fj_low_<x> call t_<x> of the same class with the same
    // signature.
    char want[128];
    const char* rest = std::strchr(mb->name + 3, '_');
    std::snprintf(want, sizeof want, "t_%s", rest ? rest + 1 : "");
    classblock* cb = mb->clazz;
    for (int i = 0; i < cb->methods_count; i++) {
        methodblock* m = &cb->methods[i];
        if (std::strcmp(m->name, want) == 0 && std::strcmp(m->signature, mb->signature) == 0)
            return m;
    }
    return nullptr;
}

bool install(methodblock* mb, const template_desc* t)
{
    u4 len = static_cast<u4>(t->end - t->start);
    u4 need = FJ_RECORD_SIZE + ((len + 15) & ~15u);
    if (!code_memory) {
        void* p = mmap(nullptr, CODE_MEMORY_SIZE, PROT_READ | PROT_WRITE | PROT_EXEC,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            return false;
        code_memory = static_cast<u1*>(p);
    }
    if (code_used + need > CODE_MEMORY_SIZE || ncodes == MAX_CODES)
        return false;
    auto* rec = reinterpret_cast<fj_record*>(code_memory + code_used);
    u1* code = code_memory + code_used + FJ_RECORD_SIZE;
    code_used += need;
    std::memset(rec, 0, sizeof *rec);
    rec->check_fn = reinterpret_cast<u4>(&fj_abi_check);
    rec->gate_fn = reinterpret_cast<u4>(&fj_gate);
    rec->athrow_fn = reinterpret_cast<u4>(&fj_raise_athrow);
    rec->npe_fn = reinterpret_cast<u4>(&fj_raise_null_pointer);
    rec->mb = mb;
    rec->kind = mb->return_kind;
    if (t->start == fjt_gate_start || t->start == fjt_low_start) {
        rec->target = find_target(mb);
        if (!rec->target) {
            fj_note_failure("no target method for %s", mb->name);
            return false;
        }
    }
    std::memcpy(code, t->start, len);
    std::memcpy(code + 1, &rec, 4);             // mov edx, imm32

    fj_code& c = codes[ncodes];
    c.start = reinterpret_cast<u4>(code);
    c.end = c.start + len;
    c.mb = mb;
    c.ndepths = 0;
    c.offsets[c.ndepths] = 0;
    c.depths[c.ndepths++] = 0;
    for (int i = 0; i < t->ndepths; i++) {
        c.offsets[c.ndepths] = static_cast<u4>(t->depths[i].at - t->start) - (t->depths[i].minus5 ? 5 : 0);
        c.depths[c.ndepths++] = t->depths[i].depth;
    }
    __atomic_store_n(&ncodes, ncodes + 1, __ATOMIC_RELEASE);

    // Installation order of the compile driver: flags, compiled-code slot,
    // invoker, and the compiled bit last.
    mb->compiled_flags |= 1;
    mb->compiled_code = code;
    mb->invoker = code;
    __atomic_or_fetch(&mb->access, static_cast<u2>(ACC_COMPILED), __ATOMIC_SEQ_CST);
    compiled_methods++;
    return true;
}

// The interpreter invoker a failed compile reverts to.
void revert_to_interpreter_invoker(EE* ee, methodblock* mb)
{
    mb->counter = MB_COUNTER_NEVER;
    bool sync = (mb->access & ACC_SYNCHRONIZED) != 0;
    if (!(mb->access & (ACC_NATIVE | ACC_ABSTRACT))) {
        bool with_catch = mb->exception_table_length != 0;
        mb->invoker = fj.invokers[(with_catch ? 2 : 0) + (sync ? 1 : 0)];
    } else if (mb->invoker == fj.selectors[4]) {
        mb->invoker = fj.invokers[4];
    } else if (sync) {
        mb->invoker = fj.invokers[6];
    } else {
        void* custom = fj.custom_select(ee, mb, 0);
        mb->invoker = custom ? custom : fj.invokers[5];
    }
}

// Value of the static int field `<method>_n` of the method's class, or -1.
int calls_counter(methodblock* mb)
{
    char want[128];
    std::snprintf(want, sizeof want, "%s_n", mb->name);
    classblock* cb = mb->clazz;
    for (int i = 0; i < cb->fields_count; i++) {
        fieldblock* fb = &cb->fields[i];
        if ((fb->access & ACC_STATIC) && std::strcmp(fb->name, want) == 0
            && std::strcmp(fb->signature, "I") == 0)
            return static_cast<int>(fb->value);
    }
    return -1;
}

bool ends_with(const char* s, const char* suffix)
{
    size_t n = std::strlen(s), m = std::strlen(suffix);
    return n >= m && std::strcmp(s + n - m, suffix) == 0;
}

// Calls the static int sel_nested(int) of the method's class with EE+0x18
// set, as the compile driver's record would have it.
void run_java_during_compile(EE* ee, methodblock* mb)
{
    u4 record[14] = {};
    void* saved = ee->compile_record;
    ee->compile_record = record;
    fj.execute_static(ee, mb->clazz, "sel_nested", "(I)I", 5);
    ee->compile_record = saved;
    if (ee->exception_kind) {
        fj_note_failure("sel_nested threw during a compile");
        ee->exception_kind = 0;
        ee->exception = 0;
    }
}

bool is_test_class(methodblock* mb)
{
    return starts_with(mb->clazz->name, "Fj");
}

}  // namespace

namespace {
int decide(EE* ee, methodblock* mb, bool test);
}

// Called by fj_trampoline with the registers the VM set up for the request.
extern "C" int fj_compile(methodblock* mb, u4 esi, u4 entry_ebp, u4 entry_esp)
{
    EE* ee = fj.current_ee();
    bool test = is_test_class(mb);
    if (esi != 0) {
        // A compile for a transfer at a taken backward branch: the point lies
        // in mb's bytecode.  The fake compiles nothing for transfers.
        u4 code = reinterpret_cast<u4>(mb->code);
        if (esi < code || esi >= code + mb->code_length)
            fj_note_failure("transfer request for %s outside its bytecode (esi = %#x)", mb->name, esi);
        if (mb->code != nullptr && esi >= code && esi < code + mb->code_length) {
            u1 op = *reinterpret_cast<const u1*>(esi);
            if (!((op >= 153 && op <= 167) || op == 198 || op == 199 || op == 200))
                fj_note_failure("transfer request for %s not at a branch (opcode %u)", mb->name, op);
        }
        return 1;
    }
    if (ee->exception_kind != 0)
        fj_note_failure("compile request for %s with an exception pending", mb->name);
    if (ee->compile_record != nullptr)
        fj_note_failure("compile request for %s while a compile is active", mb->name);
    if (entry_esp - (ee->area + THREAD_AREA_STACK) < 0x10000)
        fj_note_failure("compile request for %s with %u bytes of stack", mb->name,
                        entry_esp - (ee->area + THREAD_AREA_STACK));
    if ((entry_ebp & TLA_MASK) != ee->area || *reinterpret_cast<u4*>(entry_ebp) != FJ_DEADBEEF)
        fj_note_failure("compile request for %s without ebp = T + 32", mb->name);

    // Java code run while a compile is active (the compiler resolves
    // constant-pool entries before it takes its lock) must not request
    // compiles itself.
    if (test && ends_with(mb->name, "_incompile") && !(mb->access & ACC_COMPILED))
        run_java_during_compile(ee, mb);
    pthread_mutex_lock(&requests_lock);
    int result = decide(ee, mb, test);
    pthread_mutex_unlock(&requests_lock);
    return result;
}

namespace {

int decide(EE* ee, methodblock* mb, bool test)
{
    int i = 0;
    for (; i < nrequests; i++)
        if (requests[i].mb == mb)
            break;
    if (i < nrequests) {
        // Threads that found the counter at 0 at the same time may all ask;
        // the same thread asking again means the VM ignored the answer.
        requests[i].count++;
        if (requests[i].first_thread == ee)
            fj_note_failure("%s.%s requested again (%d times)", mb->clazz->name, mb->name,
                            requests[i].count);
    } else if (nrequests < MAX_REQUESTS) {
        requests[nrequests++] = {mb, ee, 1, test ? calls_counter(mb) : -1};
    }

    if (!test || (mb->access & (ACC_NATIVE | ACC_ABSTRACT)))
        return 1;                       // refused by a skip filter: selector stays
    if (starts_with(mb->name, "fr_")) {
        revert_to_interpreter_invoker(ee, mb);
        return 1;
    }
    if (mb->access & ACC_COMPILED)
        return 0;                       // another thread compiled it meanwhile

    const template_desc* t = find_template(mb->name);
    if (!t || !install(mb, t))
        return 1;
    return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Invoker ABI checker (fjt_abi)
// ---------------------------------------------------------------------------

namespace {

struct abi_args {
    u4 entry;       // esp at entry: [entry] = return address
    u4 n;
    u4 word(u4 i) const { return *reinterpret_cast<u4*>(entry + 4 * (n - i)); }
    s4 i(u4 k) const { return static_cast<s4>(word(k)); }
    int64_t j(u4 k) const  // high half in word k, low half in word k + 1
    {
        return static_cast<int64_t>((static_cast<uint64_t>(word(k)) << 32) | word(k + 1));
    }
    double d(u4 k) const
    {
        int64_t bits = j(k);
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    float f(u4 k) const
    {
        u4 bits = word(k);
        float v;
        std::memcpy(&v, &bits, 4);
        return v;
    }
};

bool is_subclass(classblock* cb, classblock* of)
{
    for (; cb; cb = cb->superclass)
        if (cb == of)
            return true;
    return false;
}

}  // namespace

extern "C" fj_record* fj_abi_check(fj_record* rec, u4 entry, u4 ebp, u4 ecx, u4 eax, u4 eflags)
{
    methodblock* mb = rec->mb;
    abi_checks++;
    u2 cw;
    asm volatile("fnstcw %0" : "=m"(cw));
    u4 env[7];
    asm volatile("fnstenv %0" : "=m"(env));
    asm volatile("fldcw %0" : : "m"(cw));       // fnstenv masked the exceptions
    if (eax != reinterpret_cast<u4>(mb))
        fj_note_failure("%s: eax = %#x, not the method block", mb->name, eax);
    if (ecx != mb->args_size)
        fj_note_failure("%s: ecx = %u, expected %u argument words", mb->name, ecx, mb->args_size);
    if (eflags & 0x400)
        fj_note_failure("%s: direction flag set", mb->name);
    if (cw != X87_CW_JAVA)
        fj_note_failure("%s: x87 control word %#x", mb->name, cw);
    if ((env[2] & 0xFFFF) != 0xFFFF)
        fj_note_failure("%s: x87 stack not empty (tag word %#x)", mb->name, env[2] & 0xFFFF);
    EE* ee = fj.current_ee();
    if ((ebp & TLA_MASK) != ee->area || *reinterpret_cast<u4*>(ebp) != FJ_DEADBEEF)
        fj_note_failure("%s: ebp = %#x is not T + 32", mb->name, ebp);
    if (ee->mode != EE_MODE_COMPILED)
        fj_note_failure("%s: mode word %u in compiled code", mb->name, ee->mode);

    abi_args a = {entry, mb->args_size};
    u4 k = 0;
    if (!(mb->access & ACC_STATIC)) {
        auto* self = reinterpret_cast<JHandle*>(a.word(0));
        if (!self || !is_subclass(reinterpret_cast<method_table*>(self->word0)->classdescriptor,
                                  mb->clazz))
            fj_note_failure("%s: receiver word %#x", mb->name, a.word(0));
        k = 1;
    }
    // The same formulas as the Java bodies of tests/vm/fakejit/java.
    const char* sig = mb->name + std::strlen("fj_abi_");
    auto is = [sig](const char* s) {
        size_t n = std::strlen(s);
        return std::strncmp(sig, s, n) == 0 && (sig[n] == '\0' || sig[n] == '_');
    };
    JValue r = {};
    if (is("V")) {
    } else if (is("I")) {
        r.i = a.i(k) * 3 + 1;
    } else if (is("II")) {
        r.i = a.i(k) * 31 + a.i(k + 1);
    } else if (is("III")) {
        r.i = (a.i(k) * 31 + a.i(k + 1)) * 31 + a.i(k + 2);
    } else if (is("IIII")) {
        r.i = ((a.i(k) * 31 + a.i(k + 1)) * 31 + a.i(k + 2)) * 31 + a.i(k + 3);
    } else if (is("J")) {
        r.j = a.j(k) * 7 + 0x100000001LL;
    } else if (is("IJ")) {
        r.j = (static_cast<int64_t>(a.i(k)) * 1000000007LL) ^ a.j(k + 1);
    } else if (is("D")) {
        r.d = a.d(k) * 2.5 + 1.0;
    } else if (is("F")) {
        r.f = a.f(k) * 0.5f + 2.0f;
    } else if (is("DI")) {
        r.d = a.d(k) * a.i(k + 2) + 0.25;
    } else if (is("OI")) {
        r.u = (a.i(k + 1) & 1) == 0 ? a.word(k) : 0;
    } else {
        fj_note_failure("%s: no formula for this name", mb->name);
    }
    rec->result[0] = r.w[0];
    rec->result[1] = r.w[1];
    rec->kind = mb->return_kind;
    return rec;
}

// ---------------------------------------------------------------------------
// Exception handler and filters
// ---------------------------------------------------------------------------

namespace {

struct search_state {
    classblock* cls;            // class of the event, 0 until known
    bool make_object;           // the class came from the code: an object must be made
    const char* class_name;
    char message[64];
};

bool in_interpreter(u4 pc)
{
    return pc >= fj.interp_range[0] && pc < fj.interp_range[1];
}

// idiv of 0x80000000 by -1 in ecx, ebx, ebp, esi or edi: resume 2 bytes on.
bool repair(u4* record, u1* ctx)
{
    u4 code = record[0];
    u4 addr = record[3];
    bool ours = in_interpreter(addr) || fj_pc_in_compiled(addr, nullptr);
    if (code == FAULT_ARITHMETIC && ctx_word(ctx, CTX_EAX) == 0x80000000u
        && ctx_word(ctx, CTX_EDX) == 0xFFFFFFFFu && ours) {
        int reg_off;
        switch (reinterpret_cast<u1*>(addr)[1]) {
        case 0xF9: reg_off = CTX_ECX; break;
        case 0xFB: reg_off = CTX_EBX; break;
        case 0xFD: reg_off = CTX_EBP; break;
        case 0xFE: reg_off = CTX_ESI; break;
        case 0xFF: reg_off = CTX_EDI; break;
        default: return false;
        }
        if (ctx_word(ctx, reg_off) != 0xFFFFFFFFu)
            return false;
        ctx_word(ctx, CTX_EDX) = 0;
        ctx_word(ctx, CTX_EIP) += 2;
        return true;
    }
    if (code == FAULT_CONTINUABLE && ours) {
        ctx_word(ctx, CTX_EDX) = 0;
        return true;
    }
    return false;
}

int origin(u4 code, u4 addr)
{
    if (code == FAULT_STACK_OVERFLOW)
        return 1;
    if (code == FAULT_ARITHMETIC || code == FAULT_MEMORY)
        return in_interpreter(addr) || fj_pc_in_compiled(addr, nullptr) ? 1 : 0;
    if (code >= FIRST_SOFTWARE_CODE && code <= LAST_SOFTWARE_CODE)
        return 1;
    return 2;
}

u4 context_register(u1* ctx, int reg)
{
    static const int offs[8] = {CTX_EAX, CTX_ECX, CTX_EDX, CTX_EBX, -1, CTX_EBP, CTX_ESI, CTX_EDI};
    return offs[reg] < 0 ? 1 : ctx_word(ctx, offs[reg]);
}

// The class of the event; stored in the search state the first time.
classblock* event_class(EE* ee, u4* record, u1* ctx, search_state* st)
{
    if (st->cls)
        return st->cls;
    if (ee->exception_kind) {
        auto* o = reinterpret_cast<JHandle*>(ee->exception);
        st->cls = (o->lockword & 0xF8) ? *fj.class_object
                                       : reinterpret_cast<method_table*>(o->word0)->classdescriptor;
        st->make_object = false;
    } else {
        u4 code = record[0];
        st->message[0] = '\0';
        // A memory fault on `mov r32, [base + index*s + disp8]` with a
        // non-zero base is an array bound, not a null reference.
        if (code == FAULT_MEMORY && ee->mode != 0) {
            u1* insn = reinterpret_cast<u1*>(record[3]);
            if (insn[0] == 0x8B && (insn[1] & 0xC7) == 0x44 && context_register(ctx, insn[2] & 7) != 0) {
                code = CODE_ARRAY_BOUNDS;
                std::snprintf(st->message, sizeof st->message, "%d",
                              static_cast<int>(context_register(ctx, (insn[2] >> 3) & 7)));
            }
        }
        switch (code) {
        case FAULT_STACK_OVERFLOW: st->class_name = "java/lang/StackOverflowError"; break;
        case FAULT_ARITHMETIC:
        case CODE_DIV0:
            st->class_name = "java/lang/ArithmeticException";
            std::strcpy(st->message, "/ by zero");
            break;
        case CODE_ARRAY_BOUNDS: st->class_name = "java/lang/ArrayIndexOutOfBoundsException"; break;
        case FAULT_MEMORY:
        case CODE_NULL_POINTER: st->class_name = "java/lang/NullPointerException"; break;
        default: st->class_name = "java/lang/UnknownError"; break;
        }
        u4 kind = ee->exception_kind, exc = ee->exception;
        st->cls = fj.FindClassFromClass(ee, st->class_name, 1, nullptr);
        ee->exception_kind = kind;
        ee->exception = exc;
        st->make_object = true;
    }
    ee->exception_kind = 0;
    return st->cls;
}

void make_object(EE* ee, search_state* st)
{
    fj.SignalError(ee, st->class_name, st->message[0] ? st->message : nullptr);
}

void release_monitors(EE* ee, u4 p)
{
    auto* head = reinterpret_cast<monitor_node**>(p + REG_MONITORS);
    if (!*head)
        return;
    u4 kind = ee->exception_kind, exc = ee->exception;
    ee->exception_kind = 0;
    for (monitor_node* n = *head; n; n = n->next)
        fj.monitorExit2(ee, reinterpret_cast<JHandle*>(n->object));
    *head = nullptr;
    if (!ee->exception_kind) {
        ee->exception_kind = kind;
        ee->exception = exc;
    }
}

int interpreter_filter(u4* record, u4 p, u1* ctx, search_state* st)
{
    EE* ee = *reinterpret_cast<EE**>(p + REG_EE);
    if (repair(record, ctx))
        return 0;
    if (origin(record[0], record[3]) != 1)
        return -2;
    classblock* cls = event_class(ee, record, ctx, st);
    int needs_object = 0;
    u1* handler = fj.mmipExceptionMethodHandler(ee, *reinterpret_cast<void**>(p + REG_STATE),
                                                *reinterpret_cast<methodblock**>(p + REG_METHOD),
                                                cls, &needs_object);
    release_monitors(ee, p);
    if (!handler)
        return 1;
    if (needs_object && st->make_object)
        make_object(ee, st);
    ee->exception_kind = 0;
    ee->mode = EE_MODE_INTERPRETER;
    ctx_word(ctx, CTX_CW) = X87_CW_JAVA;
    ctx_word(ctx, CTX_EIP) = reinterpret_cast<u4>(fj.restart);
    ctx_word(ctx, CTX_ESI) = reinterpret_cast<u4>(handler);
    ctx_word(ctx, CTX_EBP) = p + REG_SAVE_EIP;
    ctx_word(ctx, CTX_ESP) = *reinterpret_cast<u4*>(p + REG_RESUME);
    ctx_word(ctx, CTX_EAX) = ee->exception;
    return 0;
}

int frameless_filter(u4* record, u4 p, u1* ctx, search_state* st)
{
    EE* ee = *reinterpret_cast<EE**>(p + REG_EE);
    if (record[1] != 0)
        return -2;
    if (repair(record, ctx))
        return 0;
    if (origin(record[0], record[3]) != 1)
        return -2;
    event_class(ee, record, ctx, st);
    release_monitors(ee, p);
    // An object already pending (THROWN) is kept: making a fresh one would
    // replace the program's exception and its message.
    if (st->make_object || !ee->exception)
        make_object(ee, st);
    else
        ee->exception_kind = 1;
    ee->mode = EE_MODE_INTERPRETER;
    ctx_word(ctx, CTX_CW) = X87_CW_JAVA;
    ctx_word(ctx, CTX_EIP) = *reinterpret_cast<u4*>(p + REG_RESUME);
    ctx_word(ctx, CTX_EBP) = p + REG_SAVE_EIP;
    ctx_word(ctx, CTX_ESP) = p + REG_RESUME;
    return 0;
}

}  // namespace

extern "C" int fj_exception_handler(u4* record, u4 registration, u1* ctx)
{
    EE* ee = *reinterpret_cast<EE**>(registration + REG_EE);
    // Fault record: the frame address points at the word holding the
    // faulting pc, and word 2 moves the walk to the faulting stack pointer.
    u4 fault[5];
    u4 saved_head = ee->transition;
    if (ee->mode != 0) {
        fault[0] = saved_head | TR_TAG_EXCEPTION_PATH;
        fault[4] = record[3];
        fault[1] = reinterpret_cast<u4>(&fault[4]) | 1;
        fault[2] = ctx_word(ctx, CTX_ESP) - reinterpret_cast<u4>(&fault[4]);
        fault[3] = ctx_word(ctx, CTX_EBP);
        ee->transition = reinterpret_cast<u4>(fault);
    }
    search_state st = {};
    auto* t = reinterpret_cast<tla*>(ee->area);
    for (u4 p = registration; p; p = *reinterpret_cast<u4*>(p + REG_NEXT)) {
        if (*reinterpret_cast<u4*>(p + REG_HANDLER) != reinterpret_cast<u4>(fj.handler))
            continue;                   // the test double builds no compiled-frame registrations
        int r;
        if (*reinterpret_cast<u4*>(p + REG_METHOD) != 0) {
            r = interpreter_filter(record, p, ctx, &st);
        } else {
            r = frameless_filter(record, p, ctx, &st);
            if (r != 0) {
                ee->transition = saved_head;
                ee->mode = EE_MODE_INTERPRETER;
                return r;
            }
        }
        if (r == 0) {
            t->registration = p;
            u4 sp = ctx_word(ctx, CTX_ESP);
            u4 h = ee->transition & ~TR_TAG_MASK;
            while (h && h < sp)
                h = *reinterpret_cast<u4*>(h) & ~TR_TAG_MASK;
            ee->transition = h;
            return 0;
        }
        if (r == -2)
            break;
    }
    ee->transition = saved_head;
    return 1;
}

void fj_summary()
{
    for (int i = 0; i < nrequests; i++) {
        methodblock* mb = requests[i].mb;
        if (!is_test_class(mb) || !(starts_with(mb->name, "sel") || starts_with(mb->name, "fr_")
                                    || starts_with(mb->name, "fs_")))
            continue;
        if (requests[i].logged_calls >= 0)
            fj_print("fakejit: request %s.%s after %d calls\n", mb->clazz->name, mb->name,
                     requests[i].logged_calls);
        else
            fj_print("fakejit: request %s.%s\n", mb->clazz->name, mb->name);
    }
    fj_print("fakejit: %d methods compiled, %d ABI checks, %d failures\n", compiled_methods,
             abi_checks, failures);
}
