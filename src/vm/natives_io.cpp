// natives_io.cpp - natives of java.io: FileOutputStream.writeBytes and
// FileInputStream.readBytes on the process's file descriptors.
//
// The Java callers check the ranges; the natives check them again (a null
// array or a bad range gives NullPointerException or
// IndexOutOfBoundsException, never a wild read or write of the heap).
// System calls are retried on EINTR; writes loop over partial counts; a
// failure becomes IOException with the strerror text.

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "vm.h"

namespace {

// The array's bytes [off, off + len), or 0 with the exception pending.
u1* checked_range(EE* ee, jhandle array, s4 off, s4 len)
{
    jref b = vm_deref(array);
    if (!b) {
        vm_throw(ee, "java/lang/NullPointerException", nullptr);
        return nullptr;
    }
    s4 n = vm_array_length(b);
    if (off < 0 || len < 0 || off > n - len) {
        vm_throw(ee, "java/lang/IndexOutOfBoundsException", nullptr);
        return nullptr;
    }
    return vm_array_elems<u1>(b) + off;
}

void FileOutputStream_writeBytes(EE* ee, jhandle cls, s4 fd, jhandle array, s4 off, s4 len)
{
    u1* p = checked_range(ee, array, off, len);
    if (!p)
        return;
    size_t left = static_cast<size_t>(len);
    while (left > 0) {
        ssize_t k = write(fd, p, left);
        if (k < 0) {
            if (errno == EINTR)
                continue;
            vm_throw(ee, "java/io/IOException", strerror(errno));
            return;
        }
        p += k;
        left -= static_cast<size_t>(k);
    }
}

s4 FileInputStream_readBytes(EE* ee, jhandle cls, s4 fd, jhandle array, s4 off, s4 len)
{
    u1* p = checked_range(ee, array, off, len);
    if (!p)
        return -1;
    if (len == 0)
        return 0;
    for (;;) {
        ssize_t k = read(fd, p, static_cast<size_t>(len));
        if (k > 0)
            return static_cast<s4>(k);
        if (k == 0)
            return -1;                      // end of file
        if (errno != EINTR) {
            vm_throw(ee, "java/io/IOException", strerror(errno));
            return -1;
        }
    }
}

}  // namespace

#define N(cls, name, sig, fn) {cls, name, sig, reinterpret_cast<void*>(fn)}

const vm_native vm_natives_io[] = {
    N("java/io/FileOutputStream", "writeBytes", "(I[BII)V", FileOutputStream_writeBytes),
    N("java/io/FileInputStream", "readBytes", "(I[BII)I", FileInputStream_readBytes),
    {nullptr, nullptr, nullptr, nullptr},
};

#undef N
