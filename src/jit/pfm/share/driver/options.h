// Compile options: the three option words, the tables of option names that
// set their bits, the per-method option table, and the debug-selector rows.
//
// Each name table is one X-macro: X(identifier, name, mask, per_method), where
// per_method says whether the name, when active as a per-method option, ORs
// its mask into the words for one compilation.  The bit constants OPT1_*,
// OPT2_* and OPT3_* are generated from the same lists.  A set bit whose name
// begins with N switches the named feature off.
#ifndef ORVA_DRIVER_OPTIONS_H
#define ORVA_DRIVER_OPTIONS_H

#include <stdio.h>

#include "vm_abi.h"

#define ORVA_OPTIONS_WORD1(X) \
    X(NALL, "NALL", 0x75FFFFFE, 1) \
    X(NALL_I2J, "NALL+I2J", 0x75FFFFFE, 0) \
    X(NBCOPT, "NBCOPT", 0x00000001, 1) \
    X(NINLINING, "NINLINING", 0x00000002, 1) \
    X(NINLININGILOOP, "NINLININGILOOP", 0x00000004, 1) \
    X(NINLININGOLOOP, "NINLININGOLOOP", 0x00000008, 1) \
    X(NINLININGWOREC, "NINLININGWOREC", 0x00000010, 1) \
    X(NDINSINLINING, "NDINSINLINING", 0x00000020, 1) \
    X(NNORMINLINING, "NNORMINLINING", 0x00000040, 1) \
    X(NRECINLINING, "NRECINLINING", 0x00000080, 1) \
    X(NNINLINING, "NNINLINING", 0x00000100, 1) \
    X(NEXTTAILREC, "NEXTTAILREC", 0x00000200, 1) \
    X(NVINLINING, "NVINLINING", 0x00000400, 1) \
    X(NSYNCINLINING, "NSYNCINLINING", 0x00000800, 1) \
    X(NPSEUDOOP, "NPSEUDOOP", 0x00001000, 1) \
    X(NSCEVAL, "NSCEVAL", 0x00002000, 0) \
    X(NBBRENUMBERING, "NBBRENUMBERING", 0x00004000, 1) \
    X(NDUPLPCNTR, "NDUPLPCNTR", 0x00008000, 1) \
    X(NENTRYPAD, "NENTRYPAD", 0x00010000, 1) \
    X(NBBMERGE, "NBBMERGE", 0x00020000, 1) \
    X(NCOMMONING, "NCOMMONING", 0x00040000, 1) \
    X(NSHRINKLVAR, "NSHRINKLVAR", 0x00080000, 1) \
    X(NNOTRED, "NNOTRED", 0x00100000, 1) \
    X(NLOOPCOMMONING, "NLOOPCOMMONING", 0x00200000, 1) \
    X(NINDUCTIONANA, "NINDUCTIONANA", 0x00400000, 1) \
    X(NLOOPVERSIONING, "NLOOPVERSIONING", 0x00800000, 1) \
    X(NOBJHDRCACHE, "NOBJHDRCACHE", 0x01000000, 1) \
    X(SCHEDULE, "SCHEDULE", 0x02000000, 0) \
    X(NSCHEDULE, "NSCHEDULE", 0x04000000, 1) \
    X(NTITLE, "NTITLE", 0x08000000, 0) \
    X(NPRIVATIZE, "NPRIVATIZE", 0x10000000, 1) \
    X(NDATAFLOW, "NDATAFLOW", 0x20000000, 1) \
    X(NBBSTRAIGHTENING, "NBBSTRAIGHTENING", 0x40000000, 1) \
    X(COMPILING, "COMPILING", 0x80000000, 1)

#define ORVA_OPTIONS_WORD2(X) \
    X(NALL, "NALL", 0xFFEFFFFF, 0) \
    X(NALL_I2J, "NALL+I2J", 0xFFEFFBFF, 0) \
    X(NCHA, "NCHA", 0x00000001, 1) \
    X(NINHERIT_HOTSPOT_FLAG, "NINHERIT_HOTSPOT_FLAG", 0x00000002, 1) \
    X(NINHERIT_HOTSPOT_BY_OPT_FLAG, "NINHERIT_HOTSPOT_BY_OPT_FLAG", 0x00000004, 1) \
    X(NLDCTABLE, "NLDCTABLE", 0x00000008, 1) \
    X(NDFPRIVATIZE, "NDFPRIVATIZE", 0x00000010, 1) \
    X(NINLINE_DINS, "NINLINE_DINS", 0x00000020, 1) \
    X(NEMPTYINLINING, "NEMPTYINLINING", 0x00000040, 1) \
    X(NINLINE_EMPTY, "NINLINE_EMPTY", 0x00000080, 1) \
    X(NINLINE_ARRAYCOPY, "NINLINE_ARRAYCOPY", 0x00000100, 1) \
    X(NSCC_CACHE, "NSCC_CACHE", 0x00000200, 1) \
    X(NMMI2JIT, "NMMI2JIT", 0x00000400, 1) \
    X(NQCOPYPROPA, "NQCOPYPROPA", 0x00000800, 1) \
    X(NQCOPYPROPA_CLASSVAR, "NQCOPYPROPA_CLASSVAR", 0x00001000, 1) \
    X(NQDEADSTORE, "NQDEADSTORE", 0x00002000, 1) \
    X(NQNULLCHECK, "NQNULLCHECK", 0x00004000, 1) \
    X(NQCOMMONING, "NQCOMMONING", 0x00008000, 1) \
    X(NQUD_DU, "NQUD_DU", 0x00010000, 1) \
    X(NSEPARATE_RARE_PATH, "NSEPARATE_RARE_PATH", 0x00020000, 1) \
    X(NUSE_MBCHECK, "NUSE_MBCHECK", 0x00040000, 1) \
    X(USE_2_STAGE_MBCHECK, "USE_2_STAGE_MBCHECK", 0x00080000, 0) \
    X(UNWIND_STACK, "UNWIND_STACK", 0x00100000, 0) \
    X(NLOPT2, "NLOPT2", 0x00200000, 1) \
    X(NSHRINKWRAP, "NSHRINKWRAP", 0x00400000, 1) \
    X(NQCONSTRAINTPROPA, "NQCONSTRAINTPROPA", 0x00800000, 1) \
    X(NQSYNCOPT, "NQSYNCOPT", 0x01000000, 1) \
    X(NTRIVINLINING, "NTRIVINLINING", 0x02000000, 1) \
    X(NINTFINLINING, "NINTFINLINING", 0x04000000, 0) \
    X(NDBVERSIONING, "NDBVERSIONING", 0x08000000, 1) \
    X(NQMOVECOPY, "NQMOVECOPY", 0x10000000, 1) \
    X(NQARRAYCHECK, "NQARRAYCHECK", 0x20000000, 1) \
    X(NQCHECKCAST, "NQCHECKCAST", 0x40000000, 1) \
    X(NACOMMONING, "NACOMMONING", 0x80000000, 1) \
    X(NQOPTIMIZE, "NQOPTIMIZE", 0x7101F800, 1) \
    X(BBCOPYPROPA, "BBCOPYPROPA", 0x31A1D000, 0)

#define ORVA_OPTIONS_WORD3(X) \
    X(NALL, "NALL", 0xFFFFFFFF, 0) \
    X(NALL_I2J, "NALL+I2J", 0xFFFFFFFF, 0) \
    X(NIPA, "NIPA", 0x00000001, 1) \
    X(NIPA_EA, "NIPA_EA", 0x00000002, 0) \
    X(NIPA_ST, "NIPA_ST", 0x00000004, 1) \
    X(IPA_PRECISE, "IPA_PRECISE", 0x00000008, 0) \
    X(NBUILTIN, "NBUILTIN", 0x00000010, 1) \
    X(NINLINENEW, "NINLINENEW", 0x00000020, 1) \
    X(NINLINECAST, "NINLINECAST", 0x00000040, 1) \
    X(NQCOMMONING_PUT, "NQCOMMONING_PUT", 0x00000080, 1) \
    X(NRTA, "NRTA", 0x00000100, 1) \
    X(NEXCEPTION_CHK_XFORM, "NEXCEPTION_CHK_XFORM", 0x00000200, 1) \
    X(NCHAOPT, "NCHAOPT", 0x00000400, 1) \
    X(NLOOPINFO, "NLOOPINFO", 0x00000800, 1) \
    X(NBBDFSSORT, "NBBDFSSORT", 0x00001000, 1) \
    X(NQDELAYEDINDEX, "NQDELAYEDINDEX", 0x00002000, 1) \
    X(NQDUPREMOVE, "NQDUPREMOVE", 0x00004000, 1) \
    X(NNEWDFS, "NNEWDFS", 0x00008000, 1) \
    X(NCOLORQUAD, "NCOLORQUAD", 0x00010000, 1) \
    X(NHALFDEVIRTUAL, "NHALFDEVIRTUAL", 0x00020000, 1) \
    X(NNESTEDVIRTUAL, "NNESTEDVIRTUAL", 0x00040000, 1) \
    X(NMETHODVERSIONING, "NMETHODVERSIONING", 0x00080000, 1) \
    X(NINLINEUNRESOLVED, "NINLINEUNRESOLVED", 0x00100000, 1) \
    X(NQCLSINIT, "NQCLSINIT", 0x10000000, 1)

#define ORVA_SKIPSUBOPT_ROWS(X) \
    X(  1, "NMMI2JIT") \
    X(  2, "NBUILTIN") \
    X(  3, "NINLINED") \
    X(  4, "HEX") \
    X(  5, "OFF") \
    X(  6, "NBCOPT") \
    X(  7, "BBCOPYPROPA") \
    X(  8, "BBCOPYFINAL") \
    X(  9, "BBCOMMONING") \
    X( 10, "CCCOMMONING") \
    X( 11, "BBTYPEFLOW1") \
    X( 12, "DEBUG") \
    X( 13, "DEBUG1") \
    X( 14, "DEBUG2") \
    X( 15, "DEBUG3") \
    X( 16, "DEBUGTRAP") \
    X( 17, "DEBUGLOOP") \
    X( 18, "NBCOPT") \
    X( 19, "NINLINING") \
    X( 20, "NINLININGILOOP") \
    X( 21, "NINLININGOLOOP") \
    X( 22, "NINLININGWOREC") \
    X( 23, "NDINSINLINING") \
    X( 24, "NNORMINLINING") \
    X( 25, "NRECINLINING") \
    X( 26, "NNINLINING") \
    X( 27, "NEXTTAILREC") \
    X( 28, "NVINLINING") \
    X( 29, "NSYNCINLINING") \
    X( 30, "NPSEUDOOP") \
    X( 31, "NSCEVAL") \
    X( 32, "NBBRENUMBERING") \
    X( 33, "NDUPLPCNTR") \
    X( 34, "NENTRYPAD") \
    X( 35, "NBBMERGE") \
    X( 36, "NCOMMONING") \
    X( 37, "NSHRINKVAR") \
    X( 38, "NNOTRED") \
    X( 39, "NLOOPCOMMONING") \
    X( 40, "NINDUCTIONANA") \
    X( 41, "NLOOPVERSIONING") \
    X( 42, "NOBJHDRCACHE") \
    X( 43, "SCHEDULE") \
    X( 44, "NSCHEDULE") \
    X( 45, "NTITLE") \
    X( 46, "NPRIVATIZE") \
    X( 47, "NDATAFLOW") \
    X( 48, "NBBSTRAIGHTENING") \
    X( 49, "COMPILING") \
    X( 50, "@NCHA") \
    X( 51, "NINHERIT_HOTSPOT_FLAG") \
    X( 52, "NINHERIT_HOTSPOT_BY_OPT_FLAG") \
    X( 53, "NLDCTABLE") \
    X( 54, "NDFPRIVATIZE") \
    X( 55, "NINLINE_DINS") \
    X( 56, "NEMPTYINLINING") \
    X( 57, "NINLINE_EMPTY") \
    X( 58, "NINLINE_ARRAYCOPY") \
    X( 59, "NSCC_CACHE") \
    X( 60, "NMMI2JIT") \
    X( 61, "NQCOPYPROPA") \
    X( 62, "NQCOPYPROPA_CLASSVAR") \
    X( 63, "NQDEADSTORE") \
    X( 64, "NQNULLCHECK") \
    X( 65, "NQCOMMONING") \
    X( 66, "NQUD_DU") \
    X( 67, "NSEPARATE_RARE_PATH") \
    X( 68, "NUSE_MBCHECK") \
    X( 69, "USE_2_STAGE_MBCHECK") \
    X( 70, "UNWIND_STACK") \
    X( 71, "NLOPT2") \
    X( 72, "NSHRINKWRAP") \
    X( 73, "NQCONSTRAINTPROPA") \
    X( 74, "NQSYNCOPT") \
    X( 75, "NTRIVINLINING") \
    X( 76, "NINTFINLINING") \
    X( 77, "NDBVERSIONING") \
    X( 78, "NQMOVECOPY") \
    X( 79, "NQARRAYCHECK") \
    X( 80, "NQCHECKCAST") \
    X( 81, "NACOMMONING") \
    X( 82, "NIPA") \
    X( 83, "NIPA_EA") \
    X( 84, "NIPA_ST") \
    X( 85, "IPA_PRECISE") \
    X( 86, "NBUILTIN") \
    X( 87, "NINLINENEW") \
    X( 88, "NINLINECAST") \
    X( 89, "NQCOMMONING_PUT") \
    X( 90, "NRTA") \
    X( 91, "NEXCEPTION_CHK_XFORM") \
    X( 92, "NCHAOPT") \
    X( 93, "NLOOPINFO") \
    X( 94, "NBBDFSSORT") \
    X( 95, "NQDELAYEDINDEX") \
    X( 96, "NQDUPREMOVE") \
    X( 97, "NDFSNEW") \
    X( 98, "NCOLORQUAD") \
    X( 99, "NHALFDEVIRTUAL") \
    X(100, "NNESTEDVIRTUAL") \
    X(101, "NMETHODVERSIONING") \
    X(102, "NINLINEUNRESOLVED") \
    X(103, "NOT_USED") \
    X(104, "NOT_USED") \
    X(105, "NOT_USED") \
    X(106, "NOT_USED") \
    X(107, "NOT_USED") \
    X(108, "NOT_UESD") \
    X(109, "NOT_USED") \
    X(110, "NQCLSINIT") \
    X(111, "NOT_USED") \
    X(112, "NOT_USED") \
    X(113, "NOT_USED")

#define ORVA_OPTION_CONSTANT1(id, name, mask, per_method) constexpr u4 OPT1_##id = mask;
#define ORVA_OPTION_CONSTANT2(id, name, mask, per_method) constexpr u4 OPT2_##id = mask;
#define ORVA_OPTION_CONSTANT3(id, name, mask, per_method) constexpr u4 OPT3_##id = mask;
ORVA_OPTIONS_WORD1(ORVA_OPTION_CONSTANT1)
ORVA_OPTIONS_WORD2(ORVA_OPTION_CONSTANT2)
ORVA_OPTIONS_WORD3(ORVA_OPTION_CONSTANT3)
#undef ORVA_OPTION_CONSTANT1
#undef ORVA_OPTION_CONSTANT2
#undef ORVA_OPTION_CONSTANT3

// The option words: 0 = everything on.
extern u4 compile_option_flag;      // word 1
extern u4 compile_option2_flag;     // word 2
extern u4 compile_option3_flag;     // word 3

// One row of an option-name table.
struct option_name {
    const char* name;
    u4 mask;
    u1 per_method;                  // ORed for an active per-method option
};

extern const option_name option_names_word1[];
extern const option_name option_names_word2[];
extern const option_name option_names_word3[];
extern const int option_names_word1_count;
extern const int option_names_word2_count;
extern const int option_names_word3_count;

// Debug-selector rows, 1-based (row 0 unused).
constexpr int SKIPSUBOPT_ROWS = 113;
extern const char* const skipsubopt_array[SKIPSUBOPT_ROWS + 1];

// Named rows of the debug selector.
constexpr int SKIPSUB_NMMI2JIT = 1;     // no interpreter-to-compiled transfer
constexpr int SKIPSUB_NBUILTIN = 2;     // no replacement body
constexpr int SKIPSUB_NINLINED = 3;     // consulted by the inliner
constexpr int SKIPSUB_HEX      = 4;     // option words from ORVA_SKIPHEX1..3
constexpr int SKIPSUB_OFF      = 5;     // not compiled
constexpr int SKIPSUB_NBCOPT   = 6;     // compiled without optimization
constexpr int SKIPSUB_FIRST_BIT_ROW = 18;   // row k >= 18 names bit k - 18 of the 96-bit field

// Per-method option table node.
struct option_node {
    char* name;                     // NUL-terminated copy
    char* filter;                   // copy of the filter text, or 0
    u1 active;                      // 1 = applies now
    u1 pad[3];
    option_node* next;              // next node of the bucket
};

constexpr int OPTION_BUCKETS = 256;
extern option_node* option_table[OPTION_BUCKETS];
extern int optionsSet;              // per-method options were parsed
extern int optionFiltersSet;        // some option carries a filter

#endif // ORVA_DRIVER_OPTIONS_H
