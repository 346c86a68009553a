// The launcher: jvm [options] MainClass [args...]
//
// The process's own thread parses the options, installs the signal
// handlers and creates the main Java thread on a thread area; it never runs
// Java code.  The main Java thread boots the VM (heap, link vector,
// bootstrap classes, the main Thread object, System), starts the compiler
// library unless told not to, runs main(String[]) through vm_call_java,
// prints an uncaught exception, waits for the other non-daemon threads and
// ends the process through vm_exit (streams flushed, exit functions run).
//
// Exit status: 0 when main returned, 1 for an uncaught exception in main,
// a main class or method that cannot be found, or a bad option; n for
// System.exit(n); 134 (SIGABRT) for a fatal internal error.
#include <pthread.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

const char usage_text[] =
    "Usage: jvm [options] MainClass [args...]\n"
    "\n"
    "  -cp <path>, -classpath <path>  class path: directories separated by ':' (default \".\")\n"
    "  -D<name>=<value>               system property\n"
    "  -Djava.compiler=NONE           run without the compiler (interpreter only)\n"
    "  -Djava.compiler=<name|path>    load that compiler library instead of the default;\n"
    "                                 a bare name N means libN.so next to the launcher\n"
    "  -Xint                          same as -Djava.compiler=NONE\n"
    "  -Xss<size>                     Java stack per thread (interpreter frames), default 2m\n"
    "  -Xmx<size>                     heap arena, default 256m\n"
    "  -Xjit:<names>                  compiler options (sets ORVA_COMPILEOPT)\n"
    "  -verbose:class                 one line per loaded class on stderr\n"
    "  -version                       VM version and, when the compiler loads, its version string\n";

constexpr u4 MIN_JAVA_STACK = 64u << 10;
constexpr u4 MIN_HEAP = 1u << 20;
constexpr unsigned long long MAX_HEAP = 3ull << 30;

struct launch {
    const char* main_class;
    int argc;
    char** argv;
    bool version;
};

[[noreturn]] void usage_error(const char* fmt, const char* arg)
{
    if (fmt) {
        std::fprintf(stderr, fmt, arg);
        std::fputc('\n', stderr);
    }
    std::fputs(usage_text, stderr);
    std::exit(1);
}

// "<digits>[k|K|m|M|g|G]" in bytes; false when malformed or too large.
bool parse_size(const char* s, unsigned long long* out)
{
    if (*s < '0' || *s > '9')
        return false;
    unsigned long long v = 0;
    while (*s >= '0' && *s <= '9') {
        v = v * 10 + static_cast<unsigned>(*s++ - '0');
        if (v > (1ull << 40))
            return false;
    }
    switch (*s) {
    case 0: break;
    case 'k': case 'K': v <<= 10; s++; break;
    case 'm': case 'M': v <<= 20; s++; break;
    case 'g': case 'G': v <<= 30; s++; break;
    default: return false;
    }
    if (*s)
        return false;
    *out = v;
    return true;
}

void add_property(const char* name, const char* value)
{
    int n = vm_opts.nprops;
    auto** names = static_cast<const char**>(std::realloc(const_cast<char**>(vm_opts.prop_names),
                                                          sizeof(char*) * (n + 1)));
    auto** values = static_cast<const char**>(std::realloc(const_cast<char**>(vm_opts.prop_values),
                                                           sizeof(char*) * (n + 1)));
    if (!names || !values) {
        std::fputs("jvm: out of memory\n", stderr);
        std::exit(1);
    }
    names[n] = name;
    values[n] = value;
    vm_opts.prop_names = names;
    vm_opts.prop_values = values;
    vm_opts.nprops = n + 1;
}

// The class library directory: ../classes from the launcher executable.
const char* default_bootclasspath()
{
    static char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 32);
    if (n <= 0)
        return "classes";
    buf[n] = 0;
    char* slash = std::strrchr(buf, '/');
    if (!slash)
        return "classes";
    std::strcpy(slash, "/../classes");
    static char canonical[4096];
    return realpath(buf, canonical) ? canonical : buf;
}

u4 threshold_from_environment()
{
    const char* s = std::getenv("ZEK_MIXED_MODE_THRESHOLD");
    if (!s || !*s)
        return 2000;
    char* end;
    errno = 0;
    long v = std::strtol(s, &end, 10);
    if (*end || errno || v < 0)
        return 2000;
    return v > MB_COUNTER_MAX ? MB_COUNTER_MAX : static_cast<u4>(v);
}

void parse_options(int argc, char** argv, launch* l)
{
    vm_opts.classpath = ".";
    vm_opts.bootclasspath = default_bootclasspath();
    vm_opts.threshold = threshold_from_environment();
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const char* a = argv[i];
        unsigned long long size;
        if (!std::strcmp(a, "-cp") || !std::strcmp(a, "-classpath")) {
            if (++i >= argc)
                usage_error("%s requires a class path", a);
            vm_opts.classpath = argv[i];
        } else if (!std::strncmp(a, "-D", 2)) {
            const char* eq = std::strchr(a + 2, '=');
            if (eq == a + 2 || !a[2])
                usage_error("Invalid property option: %s", a);
            char* name = eq ? strndup(a + 2, static_cast<size_t>(eq - (a + 2))) : strdup(a + 2);
            const char* value = eq ? eq + 1 : "";
            if (!std::strcmp(name, "java.compiler"))
                vm_opts.compiler = value;
            add_property(name, value);
        } else if (!std::strcmp(a, "-Xint")) {
            vm_opts.compiler = "NONE";
        } else if (!std::strncmp(a, "-Xss", 4)) {
            if (!parse_size(a + 4, &size) || size < MIN_JAVA_STACK || size > (1ull << 30))
                usage_error("Invalid thread stack size: %s", a);
            vm_opts.java_stack_size = static_cast<u4>(size);
        } else if (!std::strncmp(a, "-Xmx", 4)) {
            if (!parse_size(a + 4, &size) || size < MIN_HEAP || size > MAX_HEAP)
                usage_error("Invalid maximum heap size: %s", a);
            vm_opts.heap_size = static_cast<u4>(size);
        } else if (!std::strncmp(a, "-Xjit:", 6)) {
            setenv("ORVA_COMPILEOPT", a + 6, 1);
        } else if (!std::strncmp(a, "-Xbootclasspath:", 16)) {
            vm_opts.bootclasspath = a + 16;
        } else if (!std::strcmp(a, "-verbose:class") || !std::strcmp(a, "-verbose")) {
            vm_opts.verbose_class = 1;
        } else if (!std::strcmp(a, "-version")) {
            l->version = true;
        } else if (!std::strcmp(a, "-help") || !std::strcmp(a, "-h") || !std::strcmp(a, "-?")) {
            std::fputs(usage_text, stdout);
            std::exit(0);
        } else {
            usage_error("Unrecognized option: %s", a);
        }
    }
    if (l->version)
        return;
    if (i >= argc)
        usage_error(nullptr, nullptr);
    l->main_class = argv[i];
    l->argc = argc - i - 1;
    l->argv = argv + i + 1;
}

void set_int_field(jref obj, const char* name, const char* sig, u4 value)
{
    fieldblock* fb = vm_find_field(vm_class_of(obj), name, sig);
    if (fb && !(fb->access & ACC_STATIC))
        vm_field<u4>(obj, fb->value) = value;
}

// The main Thread object: allocated, made current, then constructed.
bool make_main_thread(EE* ee)
{
    classblock* tc = vm_class_Thread ? vm_class_Thread : vm_find_class(ee, "java/lang/Thread", 1);
    if (!tc || !vm_init_class(ee, tc))
        return false;
    jref t = vm_new_object(ee, tc);
    jref name = t ? vm_new_string_utf(ee, "main") : nullptr;
    if (!name)
        return false;
    ee->thread_object = reinterpret_cast<u4>(t);
    set_int_field(t, "eetop", "I", reinterpret_cast<u4>(ee));
    set_int_field(t, "alive", "Z", 1);
    set_int_field(t, "started", "Z", 1);
    methodblock* init = vm_find_declared_method(tc, "<init>", "(Ljava/lang/String;)V");
    if (!init) {
        vm_throw(ee, "java/lang/NoSuchMethodError", "java.lang.Thread.<init>(Ljava/lang/String;)V");
        return false;
    }
    u4 argv[2] = {reinterpret_cast<u4>(t), reinterpret_cast<u4>(name)};
    return vm_call_java(ee, init, argv, 2, nullptr) != 0;
}

bool init_system(EE* ee)
{
    classblock* sys = vm_find_class(ee, "java/lang/System", 1);
    if (!sys)
        return false;
    return vm_call_method(ee, nullptr, sys, "initializeSystemClass", "()V", nullptr) != 0;
}

// A start-up failure before main runs: the exception as uncaught, status 1.
[[noreturn]] void boot_failed(EE* ee, const char* what)
{
    if (ee->exception_kind) {
        jref exc = vm_pending_exception(ee);
        vm_clear_pending(ee);
        if (vm_class_Throwable && vm_is_instance_of(exc, vm_class_Throwable))
            vm_print_uncaught(ee, exc);
    }
    std::fprintf(stderr, "Error: VM start-up failed (%s)\n", what);
    vm_exit(ee, 1);
}

void print_version()
{
    const char* jit = vm_compiler_active() ? vm_compiler_version() : nullptr;
    std::fprintf(stderr, "java version \"1.2\"\n");
    if (jit)
        std::fprintf(stderr, "Orva VM 1.2 (mixed mode), compiler: %s\n", jit);
    else
        std::fprintf(stderr, "Orva VM 1.2 (interpreted mode)\n");
}

// "pkg.Main" -> "pkg/Main".
char* internal_name(const char* dotted)
{
    char* s = strdup(dotted);
    for (char* p = s; *p; ++p)
        if (*p == '.')
            *p = '/';
    return s;
}

int run_main(EE* ee, launch* l)
{
    char* name = internal_name(l->main_class);
    classblock* cb = vm_find_class(ee, name, 0);
    if (!cb) {
        // A class that is not there is reported by the name asked for; a
        // class that is there but broken keeps its own error
        // (ClassFormatError, VerifyError, ...).
        jref exc = vm_pending_exception(ee);
        classblock* ecls = exc ? vm_class_of(exc) : nullptr;
        if (!ecls || !std::strcmp(ecls->name, "java/lang/NoClassDefFoundError"))
            vm_throw(ee, "java/lang/NoClassDefFoundError", name);
        return 1;
    }
    methodblock* mb = vm_find_declared_method(cb, "main", "([Ljava/lang/String;)V");
    if (!mb || !(mb->access & ACC_STATIC) || !(mb->access & ACC_PUBLIC)) {
        vm_throw(ee, "java/lang/NoSuchMethodError", "main");
        return 1;
    }
    if (!vm_init_class(ee, cb))
        return 1;
    jref args = vm_new_object_array(ee, vm_class_String, l->argc);
    if (!args)
        return 1;
    for (int i = 0; i < l->argc; ++i) {
        jref s = vm_new_string_utf(ee, l->argv[i]);
        if (!s)
            return 1;
        vm_array_elems<u4>(args)[i] = reinterpret_cast<u4>(s);
    }
    u4 argv[1] = {reinterpret_cast<u4>(args)};
    return vm_call_java(ee, mb, argv, 1, nullptr) ? 0 : 1;
}

void java_main(EE* ee, void* arg)
{
    auto* l = static_cast<launch*>(arg);
    vm_heap_init(vm_opts.heap_size);
    vm_init_link_vector();
    if (!vm_bootstrap_classes(ee))
        boot_failed(ee, "bootstrap classes");
    if (!make_main_thread(ee))
        boot_failed(ee, "main thread");
    if (!init_system(ee))
        boot_failed(ee, "System");
    bool no_compiler = vm_opts.compiler && !std::strcmp(vm_opts.compiler, "NONE");
    if (!no_compiler)
        vm_start_compiler(ee);
    if (l->version) {
        print_version();
        vm_exit(ee, 0);
    }
    int status = run_main(ee, l);
    if (status) {
        jref exc = vm_pending_exception(ee);
        vm_clear_pending(ee);
        vm_print_uncaught(ee, exc);
    }
    // main has returned: the main thread ends as a Java thread (threads
    // joining it go on) before it waits for the others.
    vm_end_java_thread(ee);
    vm_wait_non_daemon_threads();
    vm_exit(ee, status);
}

}  // namespace

int main(int argc, char** argv)
{
    static launch l;
    parse_options(argc, argv, &l);
    vm_init_locks();
    vm_install_signal_handlers();
    // The main Java thread is made a daemon as far as the thread list goes,
    // so that it can wait for every other non-daemon thread itself before it
    // ends the process; its Thread object says non-daemon.
    if (!vm_start_thread_area(java_main, &l, true)) {
        std::fprintf(stderr, "Error: cannot create the main Java thread\n");
        return 1;
    }
    // The main Java thread ends the process (vm_exit).  It can only end
    // otherwise through a raise that reached its bottom registration; then
    // the thread entry has printed the exception and the status is 1.
    for (;;) {
        usleep(100000);
        if (vm_first_thread_ended_uncaught()) {
            vm_wait_non_daemon_threads();
            std::fflush(nullptr);
            _exit(1);
        }
    }
}
