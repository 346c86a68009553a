// Loading and starting the compiler library.
//
// The default library is libjit.so in the launcher's directory;
// -Djava.compiler=<name> loads lib<name>.so from there, a value containing
// '/' is a path, and NONE (or -Xint) keeps the VM interpreting.  The library
// is opened RTLD_NOW | RTLD_LOCAL; both exports are looked up under the symbol
// version ORVA_3.6, falling back to the unversioned name.
//
// java_lang_Compiler_start runs once, on the main Java thread, after the
// bootstrap classes are linked and before any other Java thread exists.  A
// library that cannot be loaded gets one warning line on stderr; a library
// that refuses the VM prints its own text and leaves every hook as the VM
// wrote it.  Either way the VM runs interpreted.
//
// The library's text range is located once (its stubs and the compile
// trampoline probe the stack, and the signal handler must recognise those
// probes).
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>

#include "vm.h"

u4 vm_compiler_text_start;
u4 vm_compiler_text_end;

namespace {

constexpr const char* COMPILER_SYMBOL_VERSION = "ORVA_3.6";
constexpr size_t VERSION_BUFFER = 64;

char compiler_version[VERSION_BUFFER];
bool compiler_active;
bool compiler_started;

typedef void (*compiler_start_fn)(void** link_vector);
typedef char* (*compiler_version_fn)(char* buffer, int length);

void* find_symbol(void* handle, const char* name)
{
    void* p = dlvsym(handle, name, COMPILER_SYMBOL_VERSION);
    return p ? p : dlsym(handle, name);
}

// Directory of the launcher executable, with its trailing '/'.
bool launcher_directory(char* buf, size_t len)
{
    ssize_t n = readlink("/proc/self/exe", buf, len - 1);
    if (n <= 0)
        return false;
    buf[n] = '\0';
    char* slash = std::strrchr(buf, '/');
    if (!slash)
        return false;
    slash[1] = '\0';
    return true;
}

bool library_path(const char* option, char* buf, size_t len)
{
    if (option && std::strchr(option, '/')) {
        std::snprintf(buf, len, "%s", option);
        return true;
    }
    char dir[3072];
    if (!launcher_directory(dir, sizeof dir))
        return false;
    if (option)
        std::snprintf(buf, len, "%slib%s.so", dir, option);
    else
        std::snprintf(buf, len, "%slibjit.so", dir);
    return true;
}

struct text_search {
    ElfW(Addr) base;
    u4 start;
    u4 end;
};

int find_text(dl_phdr_info* info, size_t, void* arg)
{
    auto* s = static_cast<text_search*>(arg);
    if (info->dlpi_addr != s->base)
        return 0;
    for (int i = 0; i < info->dlpi_phnum; i++) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || !(ph.p_flags & PF_X))
            continue;
        u4 lo = static_cast<u4>(info->dlpi_addr + ph.p_vaddr);
        u4 hi = lo + static_cast<u4>(ph.p_memsz);
        if (s->start == 0 || lo < s->start)
            s->start = lo;
        if (hi > s->end)
            s->end = hi;
    }
    return 1;
}

void locate_text(void* handle)
{
    link_map* map = nullptr;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map)
        return;
    text_search s = {map->l_addr, 0, 0};
    dl_iterate_phdr(find_text, &s);
    vm_compiler_text_start = s.start;
    vm_compiler_text_end = s.end;
}

// Classes prepared after the compiler started are announced to it before
// they are published (the compiler prepared the earlier ones itself).
void announce_class(classblock* cb)
{
    if (auto init = reinterpret_cast<void (*)(classblock*)>(vm_hook_initialize_for_compiler))
        init(cb);
    if (auto loaded = reinterpret_cast<void (*)(classblock*)>(vm_hook_compiler_load_class))
        loaded(cb);
}

}  // namespace

bool vm_start_compiler(EE* ee)
{
    const char* option = vm_opts.compiler;
    if (option && std::strcmp(option, "NONE") == 0)
        return false;
    if (compiler_started)
        return compiler_active;      // the start-up runs once
    compiler_started = true;

    char path[4096];
    if (!library_path(option, path, sizeof path)) {
        std::fprintf(stderr, "Warning: cannot locate the compiler library %s; running interpreted\n",
                     option ? option : "libjit.so");
        return false;
    }
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        std::fprintf(stderr, "Warning: cannot load the compiler library %s (%s); running interpreted\n",
                     path, dlerror());
        return false;
    }
    auto start = reinterpret_cast<compiler_start_fn>(find_symbol(handle, "java_lang_Compiler_start"));
    auto version = reinterpret_cast<compiler_version_fn>(find_symbol(handle, "jit_CompilerVersion"));
    if (!start || !version) {
        std::fprintf(stderr, "Warning: the compiler library %s lacks %s; running interpreted\n", path,
                     start ? "jit_CompilerVersion" : "java_lang_Compiler_start");
        dlclose(handle);
        return false;
    }
    // The copy is not terminated when the text fills the buffer.
    std::memset(compiler_version, 0, sizeof compiler_version);
    version(compiler_version, static_cast<int>(sizeof compiler_version));
    compiler_version[sizeof compiler_version - 1] = '\0';
    locate_text(handle);

    vm_use_lossless_quick = 1;
    start(orva_CompileCodeLinkVector);

    // The compiler is in business only when it installed its trampoline.
    compiler_active = vm_hook_compile != nullptr;
    if (compiler_active)
        vm_class_prepared_hook = announce_class;
    return compiler_active;
}

bool vm_compiler_active()
{
    return compiler_active;
}

const char* vm_compiler_version()
{
    return compiler_version[0] ? compiler_version : nullptr;
}
