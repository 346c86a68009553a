// Test support for the class-model tests: running code on a Java thread
// (its own thread area, TLA and EE, as every VM service expects) and the
// once-per-process bootstrap of the class library.
#ifndef ORVA_TESTS_VM_TEST_ENV_H
#define ORVA_TESTS_VM_TEST_ENV_H

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "vm.h"

namespace vmtest {

struct job {
    std::function<void(EE*)> fn;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
};

inline void job_entry(EE* ee, void* arg)
{
    auto* j = static_cast<job*>(arg);
    j->fn(ee);
    std::lock_guard<std::mutex> g(j->m);
    j->done = true;
    j->cv.notify_all();
}

// Runs fn(ee) on a new Java thread and waits for it.  False when no thread
// area could be made.
inline bool run_java(const std::function<void(EE*)>& fn)
{
    job j;
    j.fn = fn;
    if (!vm_start_thread_area(job_entry, &j, true))
        return false;
    std::unique_lock<std::mutex> g(j.m);
    j.cv.wait(g, [&] { return j.done; });
    return true;
}

// Files and directories the tests made, removed at exit (newest first).
inline std::vector<std::string>& made_paths()
{
    static std::vector<std::string> paths;
    return paths;
}

inline void remove_made_paths()
{
    auto& paths = made_paths();
    for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        std::remove(it->c_str());
}

// Directory on the user class path (-cp) where tests drop class files.
inline const std::string& class_dir()
{
    static std::string dir = [] {
        char tmpl[] = "/tmp/orva_vmtest_XXXXXX";
        const char* d = mkdtemp(tmpl);
        if (!d)
            return std::string("/tmp");
        made_paths().push_back(d);
        std::atexit(remove_made_paths);
        return std::string(d);
    }();
    return dir;
}

inline void write_class(const std::string& name, const std::vector<u1>& bytes)
{
    std::string path = class_dir() + "/" + name + ".class";
    for (size_t i = class_dir().size() + 1; i < path.size(); i++) {
        if (path[i] == '/' && mkdir(path.substr(0, i).c_str(), 0755) == 0)
            made_paths().push_back(path.substr(0, i));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f) {
        made_paths().push_back(path);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// Class name of the pending exception ("" when none); clears it.
inline std::string take_pending(EE* ee)
{
    if (!vm_exception_pending(ee))
        return "";
    jref exc = vm_pending_exception(ee);
    vm_clear_pending(ee);
    classblock* cb = exc ? vm_class_of(exc) : nullptr;
    return cb ? cb->name : "?";
}

// Loads and links the bootstrap classes once per process.
inline bool boot(std::string* why)
{
    static bool done = false;
    static bool ok = false;
    static std::string reason;
    if (!done) {
        done = true;
        vm_opts.bootclasspath = ORVA_CLASSES_DIR;
        vm_opts.classpath = class_dir().c_str();
        vm_opts.heap_size = 64u << 20;
        vm_heap_init(vm_opts.heap_size);
        bool ran = run_java([&](EE* ee) {
            ok = vm_bootstrap_load_classes(ee);
            if (!ok)
                reason = "bootstrap failed: " + take_pending(ee);
        });
        if (!ran)
            reason = "no Java thread area";
    }
    if (why)
        *why = reason;
    return ok;
}

// Defines the class a class-file builder describes.
template <typename Builder>
inline classblock* define(EE* ee, Builder& b)
{
    std::vector<u1> bytes = b.build();
    return vm_define_class(ee, b.name.c_str(), bytes.data(), u4(bytes.size()));
}

}  // namespace vmtest

// Boots the class library once per process, failing the test when it cannot.
#define REQUIRE_BOOT()                                 \
    do {                                               \
        std::string why;                               \
        ASSERT_TRUE(vmtest::boot(&why)) << why;        \
    } while (0)


#endif  // ORVA_TESTS_VM_TEST_ENV_H
