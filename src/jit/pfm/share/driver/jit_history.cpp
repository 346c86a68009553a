// Compile history and name filters.
//
// The history is an optional text log of compiled, prepared and unloaded
// methods and classes (ORVA_COMPILING: "stderr", "stdout", or a file path,
// "+path" to append).  The name filters single out methods by class and method
// name: the skip filter (ORVA_SKIPCBNAME, ORVA_SKIPMBNAME) and the stop filter
// (ORVA_STOPCBNAME, ORVA_STOPMBNAME); what a match means depends on the debug
// selector ORVA_SKIPSUBOPT and on the caller.  Both are set once at start-up
// and only read afterwards.
//
// A filter name is compared over its length plus one (the NUL takes part, so
// the match is exact); "name*" compares the prefix only; "name[x-y]" compares
// the prefix and requires the name's next character to lie in x..y.
#include <stdarg.h>
#include <string.h>
#include <time.h>

#include "driver/driver.h"

FILE* hist_fp;
int skipsubopt;

namespace {

struct name_filter {
    const char* text;   // 0 when the variable is not set
    int size;           // compare length
    int range;          // 1: the next character must lie in lo..hi
    char lo, hi;
};

name_filter skip_class, skip_method, stop_class, stop_method;

void filter_init(name_filter* f, const char* text)
{
    *f = name_filter{};
    if (text == nullptr)
        return;
    f->text = text;
    int len = static_cast<int>(strlen(text));
    f->size = len + 1;
    if (len > 0 && text[len - 1] == '*') {
        f->size = len - 1;
        return;     // a prefix match never takes the range form
    }
    // "prefix[x-y]": only when the bracket form is really there.
    if (f->size > 5 && text[f->size - 2] == ']' && text[f->size - 6] == '['
        && text[f->size - 4] == '-') {
        f->lo = text[f->size - 5];
        f->hi = text[f->size - 3];
        f->size -= 6;
        f->range = 1;
    }
}

bool filter_agrees(const name_filter* f, const char* name)
{
    if (name == nullptr)
        return false;
    if (strncmp(f->text, name, static_cast<size_t>(f->size)) != 0)
        return false;
    if (!f->range)
        return true;
    // The prefix matched over f->size characters, so name[f->size] exists
    // (possibly the terminator, which no range admits unless lo is NUL).
    char c = name[f->size];
    return c != '\0' && c >= f->lo && c <= f->hi;
}

// A pair applies when at least one of its names is set; it agrees when every
// set name agrees.
bool pair_matches(const name_filter* cls, const name_filter* mth, const char* class_name,
                  const char* method_name)
{
    if (cls->text == nullptr && mth->text == nullptr)
        return false;
    if (cls->text != nullptr && !filter_agrees(cls, class_name))
        return false;
    if (mth->text != nullptr && !filter_agrees(mth, method_name))
        return false;
    return true;
}

} // namespace

void jit_hist_initialize(const char* destination)
{
    hist_fp = nullptr;
    if (destination == nullptr || destination[0] == '\0')
        return;
    const char* mode = "w";
    if (destination[0] == '+') {
        mode = "a";
        destination++;
    }
    if (strcmp(destination, "stderr") == 0) {
        hist_fp = stderr;
        return;
    }
    if (strcmp(destination, "stdout") == 0) {
        hist_fp = stdout;
        return;
    }
    FILE* fp = fopen(destination, mode);
    if (fp == nullptr)
        return;     // an unopenable history silently stays off
    hist_fp = fp;
    time_t t = time(nullptr);
    fprintf(hist_fp, "\n**** ORVA Compile History **** %s\n", asctime(localtime(&t)));
    fflush(hist_fp);
}

void jit_hist_printf(const char* format, ...)
{
    if (hist_fp == nullptr)
        return;
    va_list ap;
    va_start(ap, format);
    vfprintf(hist_fp, format, ap);
    va_end(ap);
    fflush(hist_fp);
}

void jit_skipsubopt_init(const char* skip_cls, const char* skip_mth, const char* selector,
                         const char* stop_cls, const char* stop_mth)
{
    filter_init(&skip_class, skip_cls);
    filter_init(&skip_method, skip_mth);
    filter_init(&stop_class, stop_cls);
    filter_init(&stop_method, stop_mth);
    skipsubopt = 0;
    if (selector == nullptr)
        return;
    for (int row = 1; row <= SKIPSUBOPT_ROWS; row++) {
        if (strcmp(selector, skipsubopt_array[row]) == 0) {
            skipsubopt = row;
            return;
        }
    }
}

int matching_skipcbname_skipmbname(const char* class_name, const char* method_name)
{
    if (pair_matches(&skip_class, &skip_method, class_name, method_name))
        return 1;
    if (pair_matches(&stop_class, &stop_method, class_name, method_name))
        return 1;
    return 0;
}

const char* jit_giveup_reason;

void jit_note_giveup(const char* reason)
{
    if (jit_giveup_reason == nullptr)
        jit_giveup_reason = reason;
}
