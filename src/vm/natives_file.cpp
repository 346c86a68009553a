// natives_file.cpp - natives of the file system by name: java.io.File's
// queries and changes, and the opening and closing of FileInputStream and
// FileOutputStream.
//
// Paths arrive as Java Strings and go to the system as their modified UTF-8
// bytes.  A query that fails answers false / 0 / null as java.io.File
// specifies; opening fails with FileNotFoundException "<path> (<strerror>)",
// the text users know from other JVMs.  System calls are retried on EINTR.

// 64-bit file offsets and sizes on IA-32, so that files past 2 GB work.
#define _FILE_OFFSET_BITS 64

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "vm.h"

namespace {

const char kNPE[] = "java/lang/NullPointerException";
const char kIOE[] = "java/io/IOException";

// Path bytes in a malloc'd buffer; 0 with the exception pending.
char* path_of(EE* ee, jhandle h)
{
    jref s = vm_deref(h);
    if (!s) {
        vm_throw(ee, kNPE, nullptr);
        return nullptr;
    }
    char* p = vm_string_to_utf_alloc(s);
    if (!p)
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
    return p;
}

// java.io.File attribute bits (File.java has the same constants).
constexpr s4 kAttrExists = 1;
constexpr s4 kAttrDirectory = 2;
constexpr s4 kAttrRegular = 4;

s4 File_attributes0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    struct stat st;
    s4 bits = 0;
    if (stat(p, &st) == 0) {
        bits = kAttrExists;
        if (S_ISDIR(st.st_mode))
            bits |= kAttrDirectory;
        if (S_ISREG(st.st_mode))
            bits |= kAttrRegular;
    }
    free(p);
    return bits;
}

int64_t File_length0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    struct stat st;
    int64_t n = stat(p, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    free(p);
    return n;
}

int64_t File_lastModified0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    struct stat st;
    int64_t ms = 0;
    if (stat(p, &st) == 0)
        ms = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    free(p);
    return ms;
}

// access(2) mode: 4 read, 2 write, 1 execute.
s4 File_access0(EE* ee, jhandle cls, jhandle path, s4 mode)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    bool ok = access(p, mode) == 0;
    free(p);
    return ok ? 1 : 0;
}

// A directory with rmdir(2), anything else with unlink(2).
s4 File_delete0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    struct stat st;
    bool ok = lstat(p, &st) == 0 && (S_ISDIR(st.st_mode) ? rmdir(p) : unlink(p)) == 0;
    free(p);
    return ok ? 1 : 0;
}

s4 File_mkdir0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    bool ok = mkdir(p, 0777) == 0;
    free(p);
    return ok ? 1 : 0;
}

s4 File_rename0(EE* ee, jhandle cls, jhandle from, jhandle to)
{
    char* a = path_of(ee, from);
    if (!a)
        return 0;
    char* b = path_of(ee, to);
    bool ok = b && rename(a, b) == 0;
    free(a);
    free(b);
    return ok ? 1 : 0;
}

// True when the file was made, false when something already had the name;
// IOException for any other failure.
s4 File_createNewFile0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return 0;
    int fd;
    do {
        fd = open(p, O_WRONLY | O_CREAT | O_EXCL, 0666);
    } while (fd < 0 && errno == EINTR);
    free(p);
    if (fd >= 0) {
        close(fd);
        return 1;
    }
    if (errno != EEXIST)
        vm_throw(ee, kIOE, strerror(errno));
    return 0;
}

// The names in a directory but "." and "..", in the order readdir gives
// them; null when it cannot be read.
jhandle File_list0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return nullptr;
    DIR* dir = opendir(p);
    free(p);
    if (!dir)
        return nullptr;
    s4 count = 0, capacity = 16;
    char** names = static_cast<char**>(malloc(capacity * sizeof(char*)));
    bool oom = !names;
    while (!oom) {
        dirent* e = readdir(dir);
        if (!e)
            break;
        if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0)
            continue;
        if (count == capacity) {
            capacity *= 2;
            char** grown = static_cast<char**>(realloc(names, capacity * sizeof(char*)));
            if (!grown) {
                oom = true;
                break;
            }
            names = grown;
        }
        names[count] = strdup(e->d_name);
        if (!names[count]) {
            oom = true;
            break;
        }
        count++;
    }
    closedir(dir);
    jref arr = nullptr;
    if (oom) {
        vm_throw(ee, "java/lang/OutOfMemoryError", nullptr);
    } else {
        arr = vm_new_object_array(ee, vm_class_String, count);
        for (s4 i = 0; arr && i < count; i++) {
            jref s = vm_new_string_utf(ee, names[i]);
            if (!s) {
                arr = nullptr;
                break;
            }
            vm_array_elems<jref>(arr)[i] = s;
        }
    }
    for (s4 i = 0; i < count; i++)
        free(names[i]);
    free(names);
    return vm_jni_ref(ee, arr);
}

// realpath(3) of an existing path, or null (File resolves the rest by text).
jhandle File_realPath0(EE* ee, jhandle cls, jhandle path)
{
    char* p = path_of(ee, path);
    if (!p)
        return nullptr;
    char* real = realpath(p, nullptr);
    free(p);
    if (!real)
        return nullptr;
    jref s = vm_new_string_utf(ee, real);
    free(real);
    return vm_jni_ref(ee, s);
}

// ---------------------------------------------------------------------------
// File streams
// ---------------------------------------------------------------------------

void throw_not_found(EE* ee, const char* path, int err)
{
    vm_throwf(ee, "java/io/FileNotFoundException", "%s (%s)", path, strerror(err));
}

// open(2) with the flags; a directory is refused as the other JVMs refuse it.
s4 open_path(EE* ee, jhandle path, int flags)
{
    char* p = path_of(ee, path);
    if (!p)
        return -1;
    int fd;
    do {
        fd = open(p, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        throw_not_found(ee, p, errno);
    } else {
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            close(fd);
            fd = -1;
            throw_not_found(ee, p, EISDIR);
        }
    }
    free(p);
    return fd;
}

s4 FileInputStream_open0(EE* ee, jhandle cls, jhandle path)
{
    return open_path(ee, path, O_RDONLY);
}

s4 FileOutputStream_open0(EE* ee, jhandle cls, jhandle path, s4 append)
{
    return open_path(ee, path, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC));
}

void close_fd(EE* ee, s4 fd)
{
    if (fd >= 0 && close(fd) != 0 && errno != EINTR)
        vm_throw(ee, kIOE, strerror(errno));
}

void FileInputStream_close0(EE* ee, jhandle cls, s4 fd)
{
    close_fd(ee, fd);
}

void FileOutputStream_close0(EE* ee, jhandle cls, s4 fd)
{
    close_fd(ee, fd);
}

// Bytes readable without blocking: what is left of a regular file, else
// what the descriptor has buffered (FIONREAD), else 0.
s4 FileInputStream_available0(EE* ee, jhandle cls, s4 fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0) {
        vm_throw(ee, kIOE, strerror(errno));
        return 0;
    }
    if (S_ISREG(st.st_mode)) {
        off_t pos = lseek(fd, 0, SEEK_CUR);
        if (pos >= 0 && st.st_size > pos) {
            int64_t left = static_cast<int64_t>(st.st_size) - pos;
            return left > INT_MAX ? INT_MAX : static_cast<s4>(left);
        }
        return 0;
    }
    int n = 0;
    return ioctl(fd, FIONREAD, &n) == 0 && n > 0 ? n : 0;
}

// Moves a seekable descriptor forward by n bytes, past the end of a file as
// lseek(2) allows (reads there see end of file), and answers n; -1 when it
// cannot seek, and FileInputStream then reads the bytes instead.
int64_t FileInputStream_skip0(EE* ee, jhandle cls, s4 fd, int64_t n)
{
    if (lseek(fd, 0, SEEK_CUR) < 0)
        return -1;
    if (lseek(fd, static_cast<off_t>(n), SEEK_CUR) < 0) {
        vm_throw(ee, kIOE, strerror(errno));
        return 0;
    }
    return n;
}

}  // namespace

#define N(cls, name, sig, fn) {cls, name, sig, reinterpret_cast<void*>(fn)}

const vm_native vm_natives_file[] = {
    N("java/io/File", "attributes0", "(Ljava/lang/String;)I", File_attributes0),
    N("java/io/File", "length0", "(Ljava/lang/String;)J", File_length0),
    N("java/io/File", "lastModified0", "(Ljava/lang/String;)J", File_lastModified0),
    N("java/io/File", "access0", "(Ljava/lang/String;I)Z", File_access0),
    N("java/io/File", "delete0", "(Ljava/lang/String;)Z", File_delete0),
    N("java/io/File", "mkdir0", "(Ljava/lang/String;)Z", File_mkdir0),
    N("java/io/File", "rename0", "(Ljava/lang/String;Ljava/lang/String;)Z", File_rename0),
    N("java/io/File", "createNewFile0", "(Ljava/lang/String;)Z", File_createNewFile0),
    N("java/io/File", "list0", "(Ljava/lang/String;)[Ljava/lang/String;", File_list0),
    N("java/io/File", "realPath0", "(Ljava/lang/String;)Ljava/lang/String;", File_realPath0),
    N("java/io/FileInputStream", "open0", "(Ljava/lang/String;)I", FileInputStream_open0),
    N("java/io/FileInputStream", "close0", "(I)V", FileInputStream_close0),
    N("java/io/FileInputStream", "available0", "(I)I", FileInputStream_available0),
    N("java/io/FileInputStream", "skip0", "(IJ)J", FileInputStream_skip0),
    N("java/io/FileOutputStream", "open0", "(Ljava/lang/String;Z)I", FileOutputStream_open0),
    N("java/io/FileOutputStream", "close0", "(I)V", FileOutputStream_close0),
    {nullptr, nullptr, nullptr, nullptr},
};

#undef N
