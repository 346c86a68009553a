// Hardware faults: classification, translation into the exception handler
// chain through the fault raiser, the yellow stack zone, fatal reports.
//
// The signal handler does no exception work.  For a fault it accepts it
// stores the code (8 arithmetic, 0xB memory, 0x40 stack overflow), the
// faulting eip and the data address in the thread's TLA and resumes the
// thread in vm_fault_raiser (fault_raiser.S), which calls the handler of the
// newest registration in normal thread context.  The filters behind that
// handler take locks, allocate and run Java code, none of which is safe in
// signal context.
//
// Accepted (everything else is fatal, section "fatal reports" below):
//   SIGFPE FPE_INTDIV/FPE_INTOVF      eip in committed code or the
//                                     interpreter's range           -> 8
//   SIGSEGV/SIGBUS in the yellow zone first fault of an overflow, eip in
//                                     committed code or the compiler
//                                     library's text (probes)       -> 0x40
//   other SIGSEGV/SIGBUS              eip in committed code or the
//                                     interpreter's range           -> 0xB
// A fault in the red zone, a second stack fault while the yellow zone is
// open, a fault in VM C++ code or libc, a fault while the previous one is
// still being raised, or a fault on a thread that is not a Java thread is
// fatal: a report on stderr and abort() (exit status 134, distinct from the
// status 1 of an uncaught Java exception).
#include <asm/ldt.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

// The interpreter's code range: GNU ld defines these for the section.
extern "C" char __start_vm_interp_text[] __attribute__((weak));
extern "C" char __stop_vm_interp_text[] __attribute__((weak));

extern "C" void vm_fault_raiser();
extern "C" [[noreturn]] void vm_fault_unhandled(const u4* record, const u1* context, int answer);

namespace {

// Register context offsets (Win32 x86 CONTEXT layout) that the report reads.
constexpr int CTX_EDI = 0x9C, CTX_ESI = 0xA0, CTX_EBX = 0xA4, CTX_EDX = 0xA8, CTX_ECX = 0xAC,
              CTX_EAX = 0xB0, CTX_EBP = 0xB4, CTX_EIP = 0xB8, CTX_ESP = 0xC4;

volatile sig_atomic_t reporting;

// Formatted text straight to stderr (no stdio: the fault may be inside it).
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report(const char* format, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0)
        return;
    if (n > static_cast<int>(sizeof buf) - 1)
        n = sizeof buf - 1;
    ssize_t w = write(2, buf, static_cast<size_t>(n));
    (void)w;
}

const char* signal_name(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    default: return "signal";
    }
}

void report_thread(EE* ee)
{
    if (!ee) {
        report("Thread: not a Java thread\n");
        return;
    }
    char name[128] = "?";
    jref thread = reinterpret_cast<jref>(ee->thread_object);
    if (thread && vm_class_Thread) {
        fieldblock* fb = vm_find_field(vm_class_of(thread), "name", "Ljava/lang/String;");
        if (fb && !(fb->access & ACC_STATIC))
            vm_string_to_utf(vm_field<jref>(thread, fb->value), name, sizeof name);
    }
    report("Thread: \"%s\" (number %u, EE %p)\n", name, ee->thread_index, static_cast<void*>(ee));
    // The frame interface is safe to use unless the thread was compiling.
    if (ee->mode != EE_MODE_COMPILING && ee->current_frame) {
        report("Java stack:\n");
        vm_dump_java_stack(ee, 2);
    }
}

[[noreturn]] void die()
{
    signal(SIGABRT, SIG_DFL);
    abort();
}

[[noreturn]] void fatal_signal(int sig, siginfo_t* si, ucontext_t* uc, EE* ee, const char* why)
{
    if (reporting)
        die();
    reporting = 1;
    const greg_t* g = uc->uc_mcontext.gregs;
    report("Internal VM error: %s (%d) at 0x%08x, address 0x%08x\n", signal_name(sig), si->si_code,
           static_cast<u4>(g[REG_EIP]), static_cast<u4>(reinterpret_cast<uintptr_t>(si->si_addr)));
    report("Reason: %s\n", why);
    report("eax=%08x ebx=%08x ecx=%08x edx=%08x esi=%08x edi=%08x ebp=%08x esp=%08x eflags=%08x\n",
           static_cast<u4>(g[REG_EAX]), static_cast<u4>(g[REG_EBX]), static_cast<u4>(g[REG_ECX]),
           static_cast<u4>(g[REG_EDX]), static_cast<u4>(g[REG_ESI]), static_cast<u4>(g[REG_EDI]),
           static_cast<u4>(g[REG_EBP]), static_cast<u4>(g[REG_ESP]), static_cast<u4>(g[REG_EFL]));
    report_thread(ee);
    die();
}

bool pc_in_compiled(u4 pc)
{
    auto hook = reinterpret_cast<int (*)(u4, methodblock*)>(vm_hook_pc_in_compiled);
    return hook && hook(pc, nullptr) != 0;
}

bool pc_in_compiler_text(u4 pc)
{
    return vm_compiler_text_start != 0 && pc >= vm_compiler_text_start && pc < vm_compiler_text_end;
}

void fault_handler(int sig, siginfo_t* si, void* ucv)
{
    auto* uc = static_cast<ucontext_t*>(ucv);
    EE* ee = vm_current_ee();
    if (!ee)
        fatal_signal(sig, si, uc, nullptr, "fault on a thread that is not a Java thread");
    auto* t = reinterpret_cast<tla*>(ee->area);
    if (t->fault_busy)
        fatal_signal(sig, si, uc, ee, "fault while the previous fault was being raised");

    // The compiler's hook sees every fault first; its answer does not count.
    if (vm_hook_signal)
        reinterpret_cast<int (*)(int, void*, void*)>(vm_hook_signal)(sig, si, ucv);

    u4 eip = static_cast<u4>(uc->uc_mcontext.gregs[REG_EIP]);
    u4 esp = static_cast<u4>(uc->uc_mcontext.gregs[REG_ESP]);
    vm_fault_site site = {};
    site.signal = sig;
    site.si_code = si->si_code;
    site.fault_addr = static_cast<u4>(reinterpret_cast<uintptr_t>(si->si_addr));
    site.area = ee->area;
    site.yellow_open = t->yellow_state != 0;
    site.in_compiled = pc_in_compiled(eip);
    site.in_interpreter = vm_pc_in_interpreter(eip);
    site.in_compiler_text = pc_in_compiler_text(eip);
    u4 code = vm_classify_fault(site);
    if (code == 0) {
        const char* why = "fault outside compiled code";
        u4 a = site.fault_addr - ee->area;
        if (a >= THREAD_AREA_RED && a < THREAD_AREA_RED + THREAD_AREA_RED_SIZE)
            why = "access to the red zone of the thread's stack";
        else if (a >= THREAD_AREA_YELLOW && a < THREAD_AREA_STACK)
            why = site.yellow_open ? "second stack overflow while the yellow zone is open"
                                   : "stack overflow outside compiled code";
        fatal_signal(sig, si, uc, ee, why);
    }
    if ((esp & TLA_MASK) != ee->area || t->registration == 0)
        fatal_signal(sig, si, uc, ee, "no exception registration to raise the fault through");
    if (code == FAULT_STACK_OVERFLOW) {
        // Room for the raiser, the handler, the filters and the construction
        // of the StackOverflowError (which runs Java code).
        mprotect(reinterpret_cast<void*>(ee->area + THREAD_AREA_YELLOW), THREAD_AREA_YELLOW_SIZE,
                 PROT_READ | PROT_WRITE);
        t->yellow_state = 1;
    }
    t->fault_code = code;
    t->fault_eip = eip;
    t->fault_addr = site.fault_addr;
    t->fault_busy = 1;
    uc->uc_mcontext.gregs[REG_EIP] = static_cast<greg_t>(reinterpret_cast<uintptr_t>(vm_fault_raiser));
}

}  // namespace

u4 vm_classify_fault(const vm_fault_site& s)
{
    if (s.signal == SIGFPE) {
        if (s.si_code != FPE_INTDIV && s.si_code != FPE_INTOVF)
            return 0;
        return s.in_compiled || s.in_interpreter ? FAULT_ARITHMETIC : 0;
    }
    if (s.signal != SIGSEGV && s.signal != SIGBUS)
        return 0;
    u4 off = s.fault_addr - s.area;       // wraps for addresses below the area
    if (s.fault_addr >= s.area && off >= THREAD_AREA_RED && off < THREAD_AREA_RED + THREAD_AREA_RED_SIZE)
        return 0;
    if (s.fault_addr >= s.area && off >= THREAD_AREA_YELLOW && off < THREAD_AREA_STACK) {
        if (s.yellow_open)
            return 0;
        return s.in_compiled || s.in_compiler_text ? FAULT_STACK_OVERFLOW : 0;
    }
    return s.in_compiled || s.in_interpreter ? FAULT_MEMORY : 0;
}

bool vm_pc_in_interpreter(u4 pc)
{
    u4 start = reinterpret_cast<u4>(__start_vm_interp_text);
    u4 end = reinterpret_cast<u4>(__stop_vm_interp_text);
    return start != 0 && pc >= start && pc < end;
}

void vm_interpreter_range(u4 out[2])
{
    out[0] = reinterpret_cast<u4>(__start_vm_interp_text);
    out[1] = reinterpret_cast<u4>(__stop_vm_interp_text);
}

void vm_reprotect_yellow_zone(EE* ee)
{
    auto* t = reinterpret_cast<tla*>(ee->area);
    if (!t->yellow_state)
        return;
    u4 here = reinterpret_cast<u4>(__builtin_frame_address(0));
    if (here < ee->area + THREAD_AREA_STACK + VM_YELLOW_REPROTECT_ROOM)
        return;
    if (mprotect(reinterpret_cast<void*>(ee->area + THREAD_AREA_YELLOW), THREAD_AREA_YELLOW_SIZE,
                 PROT_NONE) == 0)
        t->yellow_state = 0;
}

void vm_install_signal_handlers()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = fault_handler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);
    sigaction(SIGFPE, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The guard around every write of the %gs descriptor slot: thread creation
// (the new thread's base is written there and loaded into the child) and the
// repair below.  qemu-i386 keeps one descriptor table for all threads, so an
// unguarded repair could hand a thread being created the faulting thread's
// base.  A spin lock on a plain word: the repair runs before this thread's TLS
// is usable, so nothing here may touch TLS (errno, the stack protector).
static u4 tls_guard;

extern "C" __attribute__((no_stack_protector)) void vm_tls_guard_enter()
{
    while (__atomic_exchange_n(&tls_guard, 1u, __ATOMIC_ACQUIRE) != 0)
        asm volatile("pause");
}

extern "C" __attribute__((no_stack_protector)) void vm_tls_guard_leave()
{
    __atomic_store_n(&tls_guard, 0u, __ATOMIC_RELEASE);
}

// Called by the fault raiser right after the signal return, which reloaded
// %gs from the descriptor slot: under qemu-i386 that slot holds the base some
// other thread wrote last (often a thread that has ended and whose area is
// unmapped).  Writes this thread's own base back and reloads %gs, under the
// guard; on a kernel, where the slots are per thread, this rewrites the value
// the slot already has.  %gs is not read before it is repaired.
extern "C" __attribute__((no_stack_protector)) void vm_tls_repair(const tla* area)
{
    u4 base = area->tls_base;
    if (base == 0)                       // not a VM thread, nothing recorded
        return;
    u2 selector;
    asm volatile("movw %%gs, %0" : "=r"(selector));
    user_desc d;
    __builtin_memset(&d, 0, sizeof d);
    d.entry_number = selector >> 3;
    d.base_addr = base;
    d.limit = 0xFFFFF;
    d.seg_32bit = 1;
    d.limit_in_pages = 1;
    d.useable = 1;
    vm_tls_guard_enter();
    long rc;
    asm volatile("int $0x80" : "=a"(rc) : "0"(SYS_set_thread_area), "b"(&d) : "memory");
    if (rc == 0)
        asm volatile("movw %0, %%gs" : : "r"(selector) : "memory");
    vm_tls_guard_leave();
}

extern "C" [[noreturn]] void vm_fault_unhandled(const u4* record, const u1* context, int answer)
{
    if (reporting)
        die();
    reporting = 1;
    auto reg = [context](int off) { return *reinterpret_cast<const u4*>(context + off); };
    report("Internal VM error: unhandled exception event 0x%x at 0x%08x (handler answered %d)\n",
           record[0], record[3], answer);
    report("eax=%08x ebx=%08x ecx=%08x edx=%08x esi=%08x edi=%08x ebp=%08x esp=%08x eip=%08x\n",
           reg(CTX_EAX), reg(CTX_EBX), reg(CTX_ECX), reg(CTX_EDX), reg(CTX_ESI), reg(CTX_EDI),
           reg(CTX_EBP), reg(CTX_ESP), reg(CTX_EIP));
    report_thread(vm_current_ee());
    die();
}

void vm_fatal_error(const char* format, ...)
{
    char buf[400];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (reporting)
        die();
    reporting = 1;
    report("Internal VM error: %s\n", buf);
    report_thread(vm_current_ee());
    die();
}

// Handler word of every interpreter registration until the compiler
// registers its own (and always without a compiler).  Nothing raises through
// the chain then: the interpreter reports exceptions by returning them
// pending, so any event that arrives here is an internal error.
extern "C" int vm_fallback_handler(void* record, void* registration, void* context)
{
    vm_fault_unhandled(static_cast<const u4*>(record), static_cast<const u1*>(context), -1);
}
