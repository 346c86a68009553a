/*
 * vm_abi.h - the boundary between the host VM and the compiler library.
 *
 * Every record that compiled code, the run-time stubs, the compiler or the VM
 * reads in place is laid out here, with its size and every field offset pinned
 * by static_assert.  Offsets used from assembly are #defines (usable from .S
 * files) asserted against offsetof.  All records are plain structs of 8-, 16-
 * and 32-bit fields: no 64-bit members, no bitfields.
 *
 * Both sides include this header; a layout slip fails the build of both.
 */
#ifndef ORVA_VM_ABI_H
#define ORVA_VM_ABI_H

/* ---------------------------------------------------------------------------
 * Constants usable from assembly
 * ------------------------------------------------------------------------- */

/* Object model: header words relative to the object pointer. */
#define OBJ_PREHEADER           (-4)    /* mark bit, contention flag, identity hash */
#define OBJ_WORD0               0       /* method table; the length for arrays */
#define OBJ_LOCKWORD            4       /* header low byte, thin-lock count and owner */
#define OBJ_HEADER_SIZE         8       /* instance fields / array elements start here */

#define PREHDR_MARK             0x80000000 /* GC mark (0 between collections) */
#define PREHDR_CONTENTION       0x40000000 /* a thread waits for this thin lock */
#define PREHDR_HASHED           0x20000000 /* identity hash assigned */
#define PREHDR_HASH_MASK        0x1FFFFFFF

#define LOCK_HDR_ARRAY          0x02       /* header byte bit: object is an array */
#define LOCK_HDR_MASK           0xFF       /* header low byte, never changed */
#define LOCK_COUNT_ONE          0x100      /* one nested thin entry */
#define LOCK_OWNER_SHIFT        16
#define LOCK_BORROWED_OWNER     0x7FFF     /* owner id borrowed by the Vector bodies */
#define LOCK_INFLATED           0x80000000 /* inflated form: 0x80000000 | index << 8 | low */
#define LOCK_MONITOR_SHIFT      8

/* Array element type codes (header byte = code * 8 | 2). */
#define T_REFERENCE             2
#define T_BOOLEAN               4
#define T_CHAR                  5
#define T_FLOAT                 6
#define T_DOUBLE                7
#define T_BYTE                  8
#define T_SHORT                 9
#define T_INT                   10
#define T_LONG                  11

/* Class block offsets. */
#define CB_METHODTABLE_OF_CLASS 0x00
#define CB_LOCKWORD             0x04
#define CB_NAME                 0x08
#define CB_SUPERNAME            0x0C
#define CB_CONSTANTPOOL         0x10
#define CB_CPCOUNT              0x14
#define CB_INSTANCE_SIZE        0x16
#define CB_ACCESS               0x18
#define CB_STATE                0x1A
#define CB_ALLOC_HOOK           0x1C
#define CB_LOADER               0x20
#define CB_METHODS              0x24
#define CB_METHODS_COUNT        0x28
#define CB_MIRANDA_COUNT        0x2A
#define CB_MIRANDAS             0x2C
#define CB_FIELDS               0x30
#define CB_FIELDS_COUNT         0x34
#define CB_IMPLEMENTS_COUNT     0x36
#define CB_METHODTABLE          0x38
#define CB_MT_SLOTS             0x3C
#define CB_TYPE_CODE            0x3E
#define CB_IMPLEMENTS           0x40
#define CB_NAME_STRING          0x44
#define CB_CHA_INFO             0x48
#define CB_ELEMENT_CLASS        0x4C
#define CB_ARRAY_CLASS          0x50
#define CB_INIT_THREAD          0x54
#define CB_SOURCE_FILE          0x58
#define CB_REF_MAP              0x5C
#define CB_STATIC_BLOCK         0x60
#define CB_HASH_NEXT            0x64
#define CB_INTERFACES           0x68
#define CB_IMETHODTABLE         0x6C
#define CB_DIMENSIONS           0x70
#define CB_SUPERCLASS           0x80
#define CB_SIZE                 0x90

/* Class state flags (class block +0x1A). */
#define CS_LOADED               0x0001  /* parsed, class block complete */
#define CS_LINKED               0x0002  /* linked and prepared; announced to the compiler */
#define CS_INITIALIZING         0x0004  /* <clinit> running */
#define CS_INIT_FAILED          0x0008  /* later uses get NoClassDefFoundError */
#define CS_INITIALIZED          0x0010  /* <clinit> completed normally; set last */
#define CS_ARRAY                0x0200  /* array class */
#define CS_PRIMITIVE            0x0400  /* int.class and friends */
/* Never set: 0x0040 and 0x0100 (checkcast header test), 0x8000 (quick new). */

/* Class access flags kept (class block +0x18). */
#define CLASS_ACCESS_MASK       0x0631

/* Method block offsets. */
#define MB_CLASS                0x00
#define MB_NAME                 0x04
#define MB_SIGNATURE            0x08
#define MB_ACCESS               0x0C
#define MB_ARGS_SIZE            0x0E
#define MB_SLOT                 0x10
#define MB_MAX_STACK            0x14
#define MB_MAX_LOCALS           0x16
#define MB_NATIVE_CODE          0x18
#define MB_CODE                 0x1C
#define MB_CODE_LENGTH          0x20
#define MB_EXC_TABLE            0x24
#define MB_EXC_COUNT            0x28
#define MB_COUNTER              0x2A
#define MB_INVOKER              0x2C
#define MB_COMPILED_INFO        0x30
#define MB_COMPILED_FLAGS       0x34
#define MB_JIT_FLAGS            0x38
#define MB_LINE_TABLE           0x3C
#define MB_LINE_COUNT           0x40
#define MB_INDEX                0x42
#define MB_VM_EXC_TABLE         0x44
#define MB_COMPILED_CODE        0x48
#define MB_VM_EXC_COUNT         0x4C
#define MB_VM_FLAGS             0x4E
#define MB_RETURN_KIND          0x50
#define MB_NATIVE_ENTRY         0x54
#define MB_BACKEDGE_COUNT       0x58
#define MB_SIZE                 100

/* Method access flags (method block +0x0C). */
#define ACC_PUBLIC              0x0001
#define ACC_PRIVATE             0x0002
#define ACC_PROTECTED           0x0004
#define ACC_STATIC              0x0008
#define ACC_FINAL               0x0010
#define ACC_SYNCHRONIZED        0x0020
#define ACC_SUPER               0x0020  /* on classes */
#define ACC_VOLATILE            0x0040  /* on fields */
#define ACC_NATIVE              0x0100
#define ACC_INTERFACE           0x0200
#define ACC_ABSTRACT            0x0400
#define ACC_STRICT              0x0800
#define ACC_REPLACED_BODY       0x1000  /* written by the compiler */
#define ACC_COMPILED            0x4000  /* written by the compiler */
#define METHOD_ACCESS_MASK      0x0D3F
#define FIELD_ACCESS_MASK       0x00DF

/* Method-block VM flags (+0x4E). */
#define MBF_EMPTY_BODY          0x0001  /* body is a lone `return` */
#define MBF_INIT                0x0002  /* <init> */
#define MBF_CLINIT              0x0004  /* <clinit> */
#define MBF_MIRANDA             0x0008  /* VM-synthesised abstract interface method */
#define MBF_CALLER_SENSITIVE    0x0010  /* native that looks at its caller */

/* Mixed-mode counter (+0x2A). */
#define MB_COUNTER_NEVER        0xFFFF  /* never compile */
#define MB_COUNTER_MAX          0xFFFE

/* Backward-branch counter (+0x58): taken backward branches while the method
 * runs interpreted; at the threshold the interpreter offers a transfer. */
#define MB_BACKEDGE_NEVER       0xFFFFFFFF /* no transfer is offered any more */

/* Field block offsets. */
#define FB_CLASS                0x00
#define FB_NAME                 0x04
#define FB_SIGNATURE            0x08
#define FB_ACCESS               0x0C
#define FB_INDEX                0x0E
#define FB_VALUE                0x10
#define FB_SIZE                 20

/* Constant-pool tags and the resolved bit of the tag table. */
#define CONSTANT_Utf8           1
#define CONSTANT_Integer        3
#define CONSTANT_Float          4
#define CONSTANT_Long           5
#define CONSTANT_Double         6
#define CONSTANT_Class          7
#define CONSTANT_String         8
#define CONSTANT_Fieldref       9
#define CONSTANT_Methodref      10
#define CONSTANT_InterfaceMethodref 11
#define CONSTANT_NameAndType    12
#define CONSTANT_RESOLVED       0x80
#define CONSTANT_TAG_MASK       0x7F

/* Exception-table entry (16 bytes). */
#define EXC_START_PC            0
#define EXC_END_PC              2
#define EXC_HANDLER_PC          4
#define EXC_COMPILED_TABLE      8
#define EXC_CATCH_TYPE          12
#define EXC_ENTRY_SIZE          16

/* Thread area: one 256 KB area aligned to 256 KB per Java thread. */
#define TLA_MASK                0xFFFC0000
#define THREAD_AREA_SIZE        0x40000
#define THREAD_AREA_RED         0x1000  /* red zone: always PROT_NONE */
#define THREAD_AREA_RED_SIZE    0x1000
#define THREAD_AREA_YELLOW      0x2000  /* yellow zone: PROT_NONE until an overflow */
#define THREAD_AREA_YELLOW_SIZE 0x8000
#define THREAD_AREA_STACK       0xA000  /* usable stack from here to the top */
#define TLA_MAGIC_VALUE         0x414C544A /* "JTLA" */

/* TLA page offsets. */
#define TLA_REGISTRATION        0x00    /* head of the exception-registration chain */
#define TLA_EE                  0x04
#define TLA_MAGIC               0x08
#define TLA_FAULT_CODE          0x0C
#define TLA_FAULT_EIP           0x10
#define TLA_FAULT_ADDR          0x14
#define TLA_FAULT_BUSY          0x18
#define TLA_YELLOW_STATE        0x1C
#define TLA_TLS_BASE            0x20    /* the thread's C library TLS block (%gs base) */
#define TLA_EE_OFFSET           0x100   /* the EE lives at area base + 0x100 */

/* Execution environment offsets. */
#define EE_JNI_FUNCTIONS        0x000
#define EE_CURRENT_FRAME        0x008
#define EE_BASE_FRAME           0x00C
#define EE_EXCEPTION_KIND       0x010
#define EE_EXCEPTION            0x014
#define EE_COMPILE_RECORD       0x018
#define EE_SYS_THREAD           0x01C
#define EE_THREAD_OBJECT        0x020
#define EE_AREA                 0x024
#define EE_JSTACK_BASE          0x028
#define EE_JSTACK_LIMIT         0x02C
#define EE_JSTACK_TOP           0x030
#define EE_NSTACK_LIMIT         0x034
#define EE_JNI_LOCALS           0x038
#define EE_JNI_CAPACITY         0x03C
#define EE_INTERRUPTED          0x040
#define EE_THREAD_STATE         0x044
#define EE_BLOCKED_ON           0x048
#define EE_ALLOC_POS            0x04C
#define EE_ALLOC_END            0x050
#define EE_HASH_SEED            0x054
#define EE_THREAD_INDEX         0x058
#define EE_THIN_LOCK_ID         0x154
#define EE_SUSPEND_REGS         0x160
#define EE_MODE                 0x188   /* 0 interpreter, 1 compiled code, 2 compiling */
#define EE_TRANSITION           0x18C   /* head of the transition-record chain */
#define EE_SIZE                 0x200

#define EE_MODE_INTERPRETER     0
#define EE_MODE_COMPILED        1
#define EE_MODE_COMPILING       2

/* Interpreter frame (JavaFrame) offsets. */
#define JF_PREV                 0
#define JF_TRANS                4
#define JF_JNI_TOP              8
#define JF_METHOD               12
#define JF_LINK                 16
#define JF_JNI_FRAMES           20
#define JF_LASTPC               24
#define JF_LOCALS               28
#define JF_OPTOP_BASE           32
#define JF_CONSTANT_POOL        36
#define JF_MONITOR              40
#define JF_JNI_CRITICAL         44
#define JF_ACTIVATION           48
#define JF_SAVED_SP             52
#define JF_FLAGS                56
#define JF_SIZE                 64

#define JFF_NATIVE              0x1     /* frame of a native method */
#define JFF_BASE                0x2     /* thread base frame */
#define JFF_CALLIN              0x4     /* call-in marker of vm_call_java */

/* Registration record words relative to P (the address in the chain). */
#define REG_RESUME              (-8)    /* interpreter kinds only */
#define REG_EE                  (-4)
#define REG_NEXT                0
#define REG_HANDLER             4
#define REG_MONITORS            8
#define REG_BOUND               12      /* compiled kind: E; interpreter kinds: bound */
#define REG_TRY_INDEX           12      /* compiled kind */
#define REG_METHOD              16      /* interpreter method kind: mb; frame-less: 0 */
#define REG_STATE               20      /* interpreter method kind: the activation */
#define REG_SAVE_EBX            24      /* catch point */
#define REG_SAVE_ESI            28
#define REG_SAVE_EDI            32
#define REG_SAVE_EBP            36
#define REG_SAVE_ESP            40
#define REG_SAVE_EIP            44      /* = 0x2C: ebp points here on resume */

/* Activation record offsets (S = record start; P = S + 8). */
#define ACT_REG                 0x00    /* resume word at S, EE at S+4, P at S+8 */
#define ACT_P                   0x08
#define ACT_CATCH_EIP           0x34
#define ACT_RACT                0x38    /* transition record of the activation */
#define ACT_T                   0x48    /* transition frame area, 9 words */
#define ACT_FIRST_FRAME         0x6C
#define ACT_HANDLER_PC          0x70
#define ACT_EXC_OBJECT          0x74
#define ACT_JSTACK_TOP          0x78
#define ACT_ENTRY_FRAME         0x7C
#define ACT_ENTRY_MODE          0x80
#define ACT_ENTRY_FLAGS         0x84
#define ACT_SIZE                0xA0
#define ACT_T_MARKER            0xDEADBEEF /* word 8 of T */

/* Interpreter transfer record: the frame record through which the
 * interpreter hands a running activation to compiled code (the MMI2JIT
 * transfer).  The interpreter's transfer stub keeps it in its own frame at
 * ebp - 0x20 .. ebp - 1 while it calls the compiler's transfer entry with that
 * ebp; the compiler's entry and frame builder read it.  The record is followed,
 * below the stub's saved registers, by the compiled frame's argument words and
 * its return-address slot E (the argument word i at E + 4 x (nargs - i)). */
#define XS_FRAME                (-0x20) /* the JavaFrame handed over (already unlinked) */
#define XS_METHOD               (-0x1C) /* its method block */
#define XS_PC                   (-0x18) /* the backward branch (the transfer entry stores esi here) */
#define XS_RETURN_SLOT          (-0x14) /* E: the word holding the compiled frame's return address */
#define XS_CALLER_EBP           (-0x10) /* ebp the compiled frame starts and returns with */
#define XS_MONITOR              (-0x0C) /* lock object a synchronized method holds, else 0 */
#define XS_RESULT               (-0x08) /* the stub's own: JValue* receiving the result */
#define XS_RETURN_KIND          (-0x04) /* the stub's own: RK_* of the method */
#define XS_SIZE                 0x20

#define ACTF_UNWOUND            0x1     /* finished by unwinding */
#define ACTF_NATIVE_ONLY        0x2     /* native-only activation */
#define ACTF_YELLOW_OPENED      0x4     /* the yellow zone was opened */

/* Fault codes passed to the exception handler chain. */
#define FAULT_ARITHMETIC        0x08
#define FAULT_MEMORY            0x0B
#define FAULT_STACK_OVERFLOW    0x40
#define FAULT_CONTINUABLE       0x41

/* x87 control word every Java thread runs with: 53-bit, nearest, all masked. */
#define X87_CW_JAVA             0x027F

/* Link vector: 128 words.  Slot indices. */
#define LV_VERSION              0
#define LV_HOOK_START_GUARD     3
#define LV_HOOK_COMPILE         4   /* receives the compile trampoline */
#define LV_HOOK_SIGNAL          5
#define LV_HOOK_FREE_CLASS      6
#define LV_HOOK_COMPILE_CLASS   9
#define LV_HOOK_COMPILE_CLASSES 10
#define LV_HOOK_ENABLE          11
#define LV_HOOK_DISABLE         12
#define LV_HOOK_15              15
#define LV_HOOK_PC_IN_COMPILED  16
#define LV_HOOK_COMPILED_PC     17
#define LV_HOOK_18              18
#define LV_LOSSLESS_QUICK       19
#define LV_MALLOC               20
#define LV_CALLOC               21
#define LV_REALLOC              22
#define LV_STRDUP               23
#define LV_FREE                 24
#define LV_BINCLASSES           25
#define LV_NBINCLASSES          26
#define LV_BINCLASS_LOCK        27
#define LV_LINKCLASS_LOCK       28
#define LV_CLASS_CLASS          29
#define LV_CLASS_OBJECT         30
#define LV_CLASS_STRING         31
#define LV_CLASS_THROWABLE      32
#define LV_CLASS_EXCEPTION      33
#define LV_CLASS_RUNTIMEEXCEPTION 34
#define LV_CLASS_CLONEABLE      35
#define LV_EE                   36
#define LV_SIGNAL_ERROR         37
#define LV_EXCEPTION_INTERNAL_OBJECT 38
#define LV_GET_CLASS_CONSTANT_CLASS_NAME 39
#define LV_FIND_CLASS           40
#define LV_FIND_CLASS_FROM_CLASS 41
#define LV_EXECUTE_STATIC_INITIALIZERS 42
#define LV_RESOLVE_CLASS_CONSTANT2 43
#define LV_RESOLVE_CLASS_CONSTANT_FROM_CLASS2 44
#define LV_VERIFY_CLASS_ACCESS  45
#define LV_VERIFY_FIELD_ACCESS  46
#define LV_IS_SUBCLASS_OF       47
#define LV_IS_INSTANCE_OF       48
#define LV_CLASSNAME2STRING     49
#define LV_ALLOC_OBJECT         50
#define LV_ALLOC_ARRAY          51
#define LV_MULTI_ARRAY_ALLOC    52
#define LV_SIZEARRAY            53
#define LV_DYNO_LINK            54
#define LV_EXECUTE_JAVA_METHOD_VARARG 55
#define LV_EXECUTE_JAVA_STATIC_METHOD 56
#define LV_INVOKE_JAVA_METHOD   57
#define LV_INVOKE_SYNCHRONIZED_JAVA_METHOD 58
#define LV_INVOKE_ABSTRACT_METHOD 59
#define LV_INVOKE_LAZY_NATIVE_METHOD 60
#define LV_INVOKE_COMPILED_METHOD 62
#define LV_INVOKE_JNI_NATIVE_METHOD 64
#define LV_INVOKE_JNI_SYNCHRONIZED_NATIVE_METHOD 65
#define LV_MONITOR_ENTER2       66
#define LV_MONITOR_EXIT2        67
#define LV_MONITOR_REGISTER     68
#define LV_SYS_MONITOR_SIZEOF   69
#define LV_SYS_MONITOR_ENTER    70
#define LV_SYS_MONITOR_EXIT     71
#define LV_SYS_MONITOR_ENTERED  72
#define LV_DUMP_THREADS         73
#define LV_EXPAND_JAVA_STACK_FOR_JNI 74
#define LV_EXPAND_JAVA_STACK    75
#define LV_EXECUTE_JAVA         76
#define LV_NOW                  77
#define LV_PROFILER_IS_ON       78
#define LV_PROFILER_LOG         79
#define LV_JAVA_STACK_SIZE      80
#define LV_JIO_SNPRINTF         81
#define LV_JAVASTRING2CSTRING   82
#define LV_JNI_MKREFLOCAL       83
#define LV_JAVASOFTCACHE_ALLOC  84
#define LV_JVMPI_INFO           85
#define LV_GET_CUSTOM_INVOKER   86
#define LV_CODE_LOCK            87
#define LV_JVMPI_METHOD_ENTRY   89
#define LV_JVMPI_METHOD_EXIT    90
#define LV_JVMPI_LOAD_COMPILED_METHOD 91
#define LV_JVMPI_GENERIC_EVENT  93
#define LV_HOOK_COMPILED_FRAME_UPDATE 94
#define LV_MONITOR_WAIT2        95
#define LV_MONITOR_NOTIFY2      96
#define LV_MONITOR_NOTIFYALL2   97
#define LV_SYS_MONITOR_WAIT     98
#define LV_SYS_MONITOR_NOTIFY   99
#define LV_SYS_MONITOR_NOTIFYALL 100
#define LV_HOOK_INITIALIZE_FOR_COMPILER 101
#define LV_HOOK_COMPILER_LOAD_CLASS 102
#define LV_HOOK_PC_TO_LINE      103
#define LV_QUEUE_LOCK           104
#define LV_SYS_THREAD_SINGLE    105
#define LV_SYS_THREAD_MULTI     106
#define LV_SYS_THREAD_ENUMERATE_OVER 107
#define LV_MMI                  108
#define LV_SIZE                 128

#define LV_VERSION_WORD         0x062D0003 /* interface 6, class file 45.3 */
#define MMI_VERSION_WORD        0x02001001 /* 2.1.1 */

/* MMI table: 50 words, byte offsets. */
#define MMI_VERSION             0
#define MMI_FRAME_INTF          12
#define MMI_PC2STRING           16
#define MMI_IS_SPECIAL_SUPER_CALL 20
#define MMI_SYS_GET_MILLI_TICKS 24
#define MMI_OBJECT2CSTRING      28
#define MMI_GC_LINK_VECTOR      56
#define MMI_FILL_IN_STACK_TRACE 60
#define MMI_MAKE_JAVA_STRING_UTF 64
#define MMI_SYS_MONITOR_INIT    68
#define MMI_MONITOR_FLAT_EXIT   72
#define MMI_AT_EXIT             76
#define MMI_LINK_CLASS          80
#define MMI_ENUMERATE_LOADER_CACHE 84
#define MMI_SYS_THREAD_STACK_TOP 88
#define MMI_INTERFACE_VERSION   104
#define MMI_JIT_INITIALIZE      108
#define MMI_INSTRUCTION_RANGE   112
#define MMI_INVOKE_JAVA_WITH_CATCH 116
#define MMI_INVOKE_SYNC_JAVA_WITH_CATCH 120
#define MMI_SELECT_JAVA         124
#define MMI_SELECT_SYNC_JAVA    128
#define MMI_SELECT_JAVA_WITH_CATCH 132
#define MMI_SELECT_SYNC_JAVA_WITH_CATCH 136
#define MMI_SELECT_LAZY_NATIVE  140
#define MMI_SELECT_JNI_NATIVE   144
#define MMI_SELECT_JNI_SYNC_NATIVE 148
#define MMI_GET_CUSTOM_SELECT_INVOKER 152
#define MMI_EXCEPTION_EXECUTE_RESTART 156
#define MMI_EXCEPTION_METHOD_HANDLER 160
#define MMI_EXCEPTION_RELEASE_MONITOR 164
#define MMI_EXCEPTION_RESTORE_CALLER 168
#define MMI_EXCEPTION_REGISTER_HANDLER 172
#define MMI_EXCEPTION_REGISTER_RAISER 176
#define MMI_HOOK_COMPILE        180
#define MMI_HOOK_COMPILE_XFER   184
#define MMI_HOOK_XFER           188
#define MMI_HOOK_GLOBAL_LOCK    192
#define MMI_HOOK_GLOBAL_UNLOCK  196
#define MMI_SIZE                200

/* Frame-interface table: 24 words. */
#define FI_INIT                 0
#define FI_CLONE                1
#define FI_PREV                 2
#define FI_MORE                 3
#define FI_METHOD               4
#define FI_LASTPC               5
#define FI_TARGET               6
#define FI_ARGS                 7
#define FI_CURRENT_FRAME_EXISTS 8
#define FI_CURRENT_FRAME_METHOD 9
#define FI_CURRENT_FRAME_LASTPC 10
#define FI_CURRENT_FRAME_ADDRESS 11
#define FI_SET_MODE             12
#define FI_GET_MODE             13
#define FI_THREAD_POST_EXCEPTION 14
#define FI_IS_JIT_FRAME         15
#define FI_GET_ID               16
#define FI_SET                  17
#define FI_FRAME_ADDRESS        18  /* the VM's own slot */
#define FI_SIZE                 24

/* Frame-iterator kinds (iterator word 5). */
#define FIK_END                 0
#define FIK_COMPILED            1
#define FIK_COMPILED_XFER       2
#define FIK_INLINED             3
#define FIK_TRANSITION          4
#define FIK_INTERPRETER         5

/* GC link vector: 52 words, word indices. */
#define GCV_VERSION             0
#define GCV_HEAP_START          1
#define GCV_HEAP_END            2
#define GCV_QUICK_ALLOC         12
#define GCV_QUICK_ALLOC_NEW     16
#define GCV_CALLBACK_START      44
#define GCV_CALLBACK_END        48
#define GCV_SIZE                52
#define GCV_VERSION_WORD        0x00010001

#ifndef __ASSEMBLER__

#include <stddef.h>
#include <stdint.h>

typedef uint8_t  u1;
typedef uint16_t u2;
typedef uint32_t u4;
typedef int32_t  s4;

struct classblock;
struct methodblock;
struct fieldblock;
struct EE;
struct JavaFrame;

/* A Java object as compiled code sees it.  The pre-header word lies at -4. */
struct JHandle {
    u4 word0;       /* method table (objects) or length (arrays) */
    u4 lockword;    /* header byte, thin-lock count and owner */
};
static_assert(sizeof(JHandle) == OBJ_HEADER_SIZE);
static_assert(offsetof(JHandle, word0) == OBJ_WORD0);
static_assert(offsetof(JHandle, lockword) == OBJ_LOCKWORD);

/* Method table: word 0 = the class block, word 1 + k = method of slot k. */
struct method_table {
    classblock* classdescriptor;
    methodblock* methods[1];    /* methods[k] is slot k */
};
static_assert(offsetof(method_table, classdescriptor) == 0);
static_assert(offsetof(method_table, methods) == 4);

/* Interface method table entry: the interface and the u16 slot map. */
struct imethodtable_entry {
    classblock* classdescriptor;
    u2* offsets;                /* offsets[i] = method-table slot of interface method i */
};
struct imethod_table {
    u4 icount;
    imethodtable_entry itable[1];
};
static_assert(sizeof(imethodtable_entry) == 8);
static_assert(offsetof(imethod_table, icount) == 0);
static_assert(offsetof(imethod_table, itable) == 4);

/* Class block; it is also the java.lang.Class object. */
struct classblock {
    method_table* class_methodtable;     /* 0x00 method table of java/lang/Class */
    u4 lockword;                        /* 0x04 */
    const char* name;                   /* 0x08 slash form; arrays in descriptor form */
    const char* super_name;             /* 0x0C 0 for Object, primitives and arrays */
    u4* constantpool;                   /* 0x10 cp[-1] = this class, cp[0] = tag table */
    u2 constantpool_count;              /* 0x14 */
    u2 instance_size;                   /* 0x16 field bytes from obj+8, multiple of 4 */
    u2 access;                          /* 0x18 masked to 0x0631 */
    u2 state;                           /* 0x1A CS_* flags */
    u4 alloc_hook;                      /* 0x1C always 0 */
    u4 loader;                          /* 0x20 always 0: the bootstrap loader */
    methodblock* methods;               /* 0x24 stride 100 */
    u2 methods_count;                   /* 0x28 */
    u2 miranda_count;                   /* 0x2A */
    methodblock* mirandas;              /* 0x2C synthesised abstract interface methods */
    fieldblock* fields;                 /* 0x30 stride 20 */
    u2 fields_count;                    /* 0x34 */
    u2 implements_count;                /* 0x36 */
    method_table* methodtable;          /* 0x38 */
    u2 methodtable_size;                /* 0x3C slots */
    u2 type_code;                       /* 0x3E array element code, primitive char, or 0 */
    u2* implements;                     /* 0x40 cp indexes of the direct interfaces */
    u4 name_string;                     /* 0x44 cached dotted name String, 0 until made */
    void* cha_info;                     /* 0x48 compiler's class-hierarchy record */
    classblock* element_class;          /* 0x4C array classes */
    classblock* array_class;            /* 0x50 cache: array class of this element */
    EE* init_thread;                    /* 0x54 thread running <clinit> */
    const char* source_file;            /* 0x58 */
    u2* ref_map;                        /* 0x5C sorted reference-field offsets, 0-terminated */
    u4* static_block;                   /* 0x60 long/double statics */
    classblock* hash_next;              /* 0x64 loaded-class table chain */
    classblock** interfaces;            /* 0x68 direct interfaces, resolved */
    imethod_table* imethodtable;        /* 0x6C never 0 */
    u4 dimensions;                      /* 0x70 array classes */
    u4 reserved_74[3];                  /* 0x74 */
    classblock* superclass;             /* 0x80 */
    u4 reserved_84[3];                  /* 0x84 */
};
static_assert(sizeof(classblock) == CB_SIZE);
static_assert(offsetof(classblock, class_methodtable) == CB_METHODTABLE_OF_CLASS);
static_assert(offsetof(classblock, lockword) == CB_LOCKWORD);
static_assert(offsetof(classblock, name) == CB_NAME);
static_assert(offsetof(classblock, super_name) == CB_SUPERNAME);
static_assert(offsetof(classblock, constantpool) == CB_CONSTANTPOOL);
static_assert(offsetof(classblock, constantpool_count) == CB_CPCOUNT);
static_assert(offsetof(classblock, instance_size) == CB_INSTANCE_SIZE);
static_assert(offsetof(classblock, access) == CB_ACCESS);
static_assert(offsetof(classblock, state) == CB_STATE);
static_assert(offsetof(classblock, alloc_hook) == CB_ALLOC_HOOK);
static_assert(offsetof(classblock, loader) == CB_LOADER);
static_assert(offsetof(classblock, methods) == CB_METHODS);
static_assert(offsetof(classblock, methods_count) == CB_METHODS_COUNT);
static_assert(offsetof(classblock, miranda_count) == CB_MIRANDA_COUNT);
static_assert(offsetof(classblock, mirandas) == CB_MIRANDAS);
static_assert(offsetof(classblock, fields) == CB_FIELDS);
static_assert(offsetof(classblock, fields_count) == CB_FIELDS_COUNT);
static_assert(offsetof(classblock, implements_count) == CB_IMPLEMENTS_COUNT);
static_assert(offsetof(classblock, methodtable) == CB_METHODTABLE);
static_assert(offsetof(classblock, methodtable_size) == CB_MT_SLOTS);
static_assert(offsetof(classblock, type_code) == CB_TYPE_CODE);
static_assert(offsetof(classblock, implements) == CB_IMPLEMENTS);
static_assert(offsetof(classblock, name_string) == CB_NAME_STRING);
static_assert(offsetof(classblock, cha_info) == CB_CHA_INFO);
static_assert(offsetof(classblock, element_class) == CB_ELEMENT_CLASS);
static_assert(offsetof(classblock, array_class) == CB_ARRAY_CLASS);
static_assert(offsetof(classblock, init_thread) == CB_INIT_THREAD);
static_assert(offsetof(classblock, source_file) == CB_SOURCE_FILE);
static_assert(offsetof(classblock, ref_map) == CB_REF_MAP);
static_assert(offsetof(classblock, static_block) == CB_STATIC_BLOCK);
static_assert(offsetof(classblock, hash_next) == CB_HASH_NEXT);
static_assert(offsetof(classblock, interfaces) == CB_INTERFACES);
static_assert(offsetof(classblock, imethodtable) == CB_IMETHODTABLE);
static_assert(offsetof(classblock, dimensions) == CB_DIMENSIONS);
static_assert(offsetof(classblock, superclass) == CB_SUPERCLASS);

/* Method block: exactly 100 bytes. */
struct methodblock {
    classblock* clazz;                  /* 0x00 */
    const char* name;                   /* 0x04 */
    const char* signature;              /* 0x08 */
    u2 access;                          /* 0x0C masked to 0x0D3F; compiler adds 0x4000, 0x1000 */
    u2 args_size;                       /* 0x0E argument words, receiver included */
    u4 slot;                            /* 0x10 method-table slot, or index in its interface */
    u2 maxstack;                        /* 0x14 */
    u2 nlocals;                         /* 0x16 */
    void* native_code;                  /* 0x18 bound native function, 0 while unbound */
    u1* code;                           /* 0x1C 4-aligned, padded with 4 zero bytes */
    u4 code_length;                     /* 0x20 < 65536 */
    u2* exception_table;                /* 0x24 16-byte entries, seen by the compiler */
    u2 exception_table_length;          /* 0x28 */
    u2 counter;                         /* 0x2A remaining interpreted calls before a compile */
    void* invoker;                      /* 0x2C */
    void* compiled_code_info;           /* 0x30 compiler-owned */
    u4 compiled_flags;                  /* 0x34 compiler-owned */
    u4 jit_flags;                       /* 0x38 compiler-owned */
    u2* line_number_table;              /* 0x3C pairs (start pc, line) */
    u2 line_number_table_length;        /* 0x40 pairs */
    u2 index;                           /* 0x42 index in its class's method array */
    u2* vm_exception_table;             /* 0x44 the interpreter's private copy */
    void* compiled_code;                /* 0x48 compiled entry or the gate */
    u2 vm_exception_table_length;       /* 0x4C */
    u2 vm_flags;                        /* 0x4E MBF_* */
    u1 return_kind;                     /* 0x50 V Z B C S I J F D L */
    u1 reserved_51[3];                  /* 0x51 */
    u4 native_entry;                    /* 0x54 VM natives table index + 1, 0 = unknown */
    u4 backedge_count;                  /* 0x58 VM-owned backward-branch counter */
    u4 reserved_5c[2];                  /* 0x5C */
};
static_assert(sizeof(methodblock) == MB_SIZE);
static_assert(offsetof(methodblock, clazz) == MB_CLASS);
static_assert(offsetof(methodblock, name) == MB_NAME);
static_assert(offsetof(methodblock, signature) == MB_SIGNATURE);
static_assert(offsetof(methodblock, access) == MB_ACCESS);
static_assert(offsetof(methodblock, args_size) == MB_ARGS_SIZE);
static_assert(offsetof(methodblock, slot) == MB_SLOT);
static_assert(offsetof(methodblock, maxstack) == MB_MAX_STACK);
static_assert(offsetof(methodblock, nlocals) == MB_MAX_LOCALS);
static_assert(offsetof(methodblock, native_code) == MB_NATIVE_CODE);
static_assert(offsetof(methodblock, code) == MB_CODE);
static_assert(offsetof(methodblock, code_length) == MB_CODE_LENGTH);
static_assert(offsetof(methodblock, exception_table) == MB_EXC_TABLE);
static_assert(offsetof(methodblock, exception_table_length) == MB_EXC_COUNT);
static_assert(offsetof(methodblock, counter) == MB_COUNTER);
static_assert(offsetof(methodblock, invoker) == MB_INVOKER);
static_assert(offsetof(methodblock, compiled_code_info) == MB_COMPILED_INFO);
static_assert(offsetof(methodblock, compiled_flags) == MB_COMPILED_FLAGS);
static_assert(offsetof(methodblock, jit_flags) == MB_JIT_FLAGS);
static_assert(offsetof(methodblock, line_number_table) == MB_LINE_TABLE);
static_assert(offsetof(methodblock, line_number_table_length) == MB_LINE_COUNT);
static_assert(offsetof(methodblock, index) == MB_INDEX);
static_assert(offsetof(methodblock, vm_exception_table) == MB_VM_EXC_TABLE);
static_assert(offsetof(methodblock, compiled_code) == MB_COMPILED_CODE);
static_assert(offsetof(methodblock, vm_exception_table_length) == MB_VM_EXC_COUNT);
static_assert(offsetof(methodblock, vm_flags) == MB_VM_FLAGS);
static_assert(offsetof(methodblock, return_kind) == MB_RETURN_KIND);
static_assert(offsetof(methodblock, native_entry) == MB_NATIVE_ENTRY);
static_assert(offsetof(methodblock, backedge_count) == MB_BACKEDGE_COUNT);

/* Field block: exactly 20 bytes. */
struct fieldblock {
    classblock* clazz;                  /* 0x00 */
    const char* name;                   /* 0x04 */
    const char* signature;              /* 0x08 */
    u2 access;                          /* 0x0C masked to 0x00DF */
    u2 index;                           /* 0x0E index in its class's field array */
    u4 value;                           /* 0x10 instance: offset from obj+8; static: value
                                           or (long/double) pointer to 8 bytes */
};
static_assert(sizeof(fieldblock) == FB_SIZE);
static_assert(offsetof(fieldblock, clazz) == FB_CLASS);
static_assert(offsetof(fieldblock, name) == FB_NAME);
static_assert(offsetof(fieldblock, signature) == FB_SIGNATURE);
static_assert(offsetof(fieldblock, access) == FB_ACCESS);
static_assert(offsetof(fieldblock, index) == FB_INDEX);
static_assert(offsetof(fieldblock, value) == FB_VALUE);

/* Exception-table entry: 16 bytes. */
struct exception_entry {
    u2 start_pc;
    u2 end_pc;                          /* exclusive */
    u2 handler_pc;
    u2 pad6;
    u4 compiled_table;                  /* written by the compiler in entry 0 */
    u2 catch_type;                      /* cp class index, 0 = any */
    u2 pad14;
};
static_assert(sizeof(exception_entry) == EXC_ENTRY_SIZE);
static_assert(offsetof(exception_entry, start_pc) == EXC_START_PC);
static_assert(offsetof(exception_entry, end_pc) == EXC_END_PC);
static_assert(offsetof(exception_entry, handler_pc) == EXC_HANDLER_PC);
static_assert(offsetof(exception_entry, compiled_table) == EXC_COMPILED_TABLE);
static_assert(offsetof(exception_entry, catch_type) == EXC_CATCH_TYPE);

/* Execution environment: one per Java thread, 0x200 bytes at area + 0x100.
 * Word 0 makes it usable as a JNIEnv. */
struct EE {
    const void* jni_functions;          /* 0x000 */
    u4 reserved_004;                    /* 0x004 */
    JavaFrame* current_frame;           /* 0x008 never 0 on a Java thread */
    JavaFrame* base_frame;              /* 0x00C */
    u4 exception_kind;                  /* 0x010 0 none, 1 pending; bytes 0x11-0x13 stay 0 */
    u4 exception;                       /* 0x014 pending exception object */
    void* compile_record;               /* 0x018 compiler's thread_compile_record chain */
    void* sys_thread;                   /* 0x01C sys_thread_t* */
    u4 thread_object;                   /* 0x020 java.lang.Thread */
    u4 area;                            /* 0x024 thread area base */
    u4 jstack_base;                     /* 0x028 */
    u4 jstack_limit;                    /* 0x02C */
    u4 jstack_top;                      /* 0x030 first free byte */
    u4 nstack_limit;                    /* 0x034 first address above the yellow zone */
    u4* jni_locals;                     /* 0x038 */
    u4 jni_capacity;                    /* 0x03C */
    u4 interrupted;                     /* 0x040 */
    u4 thread_state;                    /* 0x044 */
    void* blocked_on;                   /* 0x048 */
    u4 alloc_pos;                       /* 0x04C */
    u4 alloc_end;                       /* 0x050 */
    u4 hash_seed;                       /* 0x054 */
    u4 thread_index;                    /* 0x058 thin-lock number n */
    u4 reserved_05c[(0x154 - 0x05C) / 4];
    u4 thin_lock_id;                    /* 0x154 n << 16 */
    u4 reserved_158[2];                 /* 0x158 */
    u4 suspend_regs[8];                 /* 0x160 phase-3 suspension snapshot */
    u4 reserved_180[2];                 /* 0x180 */
    u4 mode;                            /* 0x188 EE_MODE_* */
    u4 transition;                      /* 0x18C head of the transition chain (tagged) */
    u4 reserved_190[(0x200 - 0x190) / 4];
};
static_assert(sizeof(EE) == EE_SIZE);
static_assert(offsetof(EE, jni_functions) == EE_JNI_FUNCTIONS);
static_assert(offsetof(EE, current_frame) == EE_CURRENT_FRAME);
static_assert(offsetof(EE, base_frame) == EE_BASE_FRAME);
static_assert(offsetof(EE, exception_kind) == EE_EXCEPTION_KIND);
static_assert(offsetof(EE, exception) == EE_EXCEPTION);
static_assert(offsetof(EE, compile_record) == EE_COMPILE_RECORD);
static_assert(offsetof(EE, sys_thread) == EE_SYS_THREAD);
static_assert(offsetof(EE, thread_object) == EE_THREAD_OBJECT);
static_assert(offsetof(EE, area) == EE_AREA);
static_assert(offsetof(EE, jstack_base) == EE_JSTACK_BASE);
static_assert(offsetof(EE, jstack_limit) == EE_JSTACK_LIMIT);
static_assert(offsetof(EE, jstack_top) == EE_JSTACK_TOP);
static_assert(offsetof(EE, nstack_limit) == EE_NSTACK_LIMIT);
static_assert(offsetof(EE, jni_locals) == EE_JNI_LOCALS);
static_assert(offsetof(EE, jni_capacity) == EE_JNI_CAPACITY);
static_assert(offsetof(EE, interrupted) == EE_INTERRUPTED);
static_assert(offsetof(EE, thread_state) == EE_THREAD_STATE);
static_assert(offsetof(EE, blocked_on) == EE_BLOCKED_ON);
static_assert(offsetof(EE, alloc_pos) == EE_ALLOC_POS);
static_assert(offsetof(EE, alloc_end) == EE_ALLOC_END);
static_assert(offsetof(EE, hash_seed) == EE_HASH_SEED);
static_assert(offsetof(EE, thread_index) == EE_THREAD_INDEX);
static_assert(offsetof(EE, thin_lock_id) == EE_THIN_LOCK_ID);
static_assert(offsetof(EE, suspend_regs) == EE_SUSPEND_REGS);
static_assert(offsetof(EE, mode) == EE_MODE);
static_assert(offsetof(EE, transition) == EE_TRANSITION);

/* Thread-local area page at the base of each thread area. */
struct tla {
    u4 registration;                    /* 0x00 head of the registration chain */
    EE* ee;                             /* 0x04 = area + 0x100 */
    u4 magic;                           /* 0x08 TLA_MAGIC_VALUE */
    u4 fault_code;                      /* 0x0C */
    u4 fault_eip;                       /* 0x10 */
    u4 fault_addr;                      /* 0x14 */
    u4 fault_busy;                      /* 0x18 */
    u4 yellow_state;                    /* 0x1C 0 protected, 1 opened */
    u4 tls_base;                        /* 0x20 %gs base, 0 until the thread runs */
    u4 reserved_24[(0x100 - 0x24) / 4];
    EE ee_storage;                      /* 0x100 */
};
static_assert(offsetof(tla, registration) == TLA_REGISTRATION);
static_assert(offsetof(tla, ee) == TLA_EE);
static_assert(offsetof(tla, magic) == TLA_MAGIC);
static_assert(offsetof(tla, fault_code) == TLA_FAULT_CODE);
static_assert(offsetof(tla, fault_eip) == TLA_FAULT_EIP);
static_assert(offsetof(tla, fault_addr) == TLA_FAULT_ADDR);
static_assert(offsetof(tla, fault_busy) == TLA_FAULT_BUSY);
static_assert(offsetof(tla, yellow_state) == TLA_YELLOW_STATE);
static_assert(offsetof(tla, tls_base) == TLA_TLS_BASE);
static_assert(offsetof(tla, ee_storage) == TLA_EE_OFFSET);

/* Interpreter frame record, on the thread's Java stack.  Slot convention:
 * locals and operand stack are 32-bit slots growing upward; a long or double
 * in slots w, w+1 has its HIGH half in w and its LOW half in w+1. */
struct JavaFrame {
    JavaFrame* prev;                    /* +0  previous interpreter frame */
    u4 trans;                           /* +4  transition head at activation start */
    u4* jni_top;                        /* +8  next free JNI local slot */
    methodblock* method;                /* +12 0 for base and marker frames */
    u4 link;                            /* +16 = prev, or tagged compiled caller frame */
    u4 jni_frames;                      /* +20 PushLocalFrame records */
    u1* lastpc;                         /* +24 current instruction */
    u4* locals;                         /* +28 local slot 0 */
    u4* optop_base;                     /* +32 operand-stack base */
    u4* constant_pool;                  /* +36 */
    u4 monitor;                         /* +40 object locked for a synchronized method */
    u4 jni_critical;                    /* +44 */
    struct vm_activation* activation;   /* +48 */
    u4* saved_sp;                       /* +52 operand-stack pointer while not running */
    u4 flags;                           /* +56 JFF_* */
    u4 reserved;                        /* +60 */
};
static_assert(sizeof(JavaFrame) == JF_SIZE);
static_assert(offsetof(JavaFrame, prev) == JF_PREV);
static_assert(offsetof(JavaFrame, trans) == JF_TRANS);
static_assert(offsetof(JavaFrame, jni_top) == JF_JNI_TOP);
static_assert(offsetof(JavaFrame, method) == JF_METHOD);
static_assert(offsetof(JavaFrame, link) == JF_LINK);
static_assert(offsetof(JavaFrame, jni_frames) == JF_JNI_FRAMES);
static_assert(offsetof(JavaFrame, lastpc) == JF_LASTPC);
static_assert(offsetof(JavaFrame, locals) == JF_LOCALS);
static_assert(offsetof(JavaFrame, optop_base) == JF_OPTOP_BASE);
static_assert(offsetof(JavaFrame, constant_pool) == JF_CONSTANT_POOL);
static_assert(offsetof(JavaFrame, monitor) == JF_MONITOR);
static_assert(offsetof(JavaFrame, jni_critical) == JF_JNI_CRITICAL);
static_assert(offsetof(JavaFrame, activation) == JF_ACTIVATION);
static_assert(offsetof(JavaFrame, saved_sp) == JF_SAVED_SP);
static_assert(offsetof(JavaFrame, flags) == JF_FLAGS);

/* Transition record (chain at EE+0x18C): word 0 is the next older record
 * with two tag bits. */
struct transition_record {
    u4 prev;                            /* older record | tags */
    u4 frame;                           /* frame address | tag */
    u4 word2;
    u4 caller_ebp;
};
static_assert(sizeof(transition_record) == 16);

#define TR_TAG_TRANSFER         0x1     /* frame entered from the interpreter by a transfer */
#define TR_TAG_EXCEPTION_PATH   0x2     /* consult the exception-path map first */
#define TR_TAG_MASK             0x3

/* Interpreter registration record (P = address of `next`). */
struct vm_registration {
    u4 resume;                          /* P-8 resume esp or landing stub */
    EE* ee;                             /* P-4 */
    u4 next;                            /* P+0 */
    u4 handler;                         /* P+4 */
    u4 monitors;                        /* P+8 monitor-list head */
    u4 bound;                           /* P+12 */
    methodblock* method;                /* P+16 0 for the frame-less kind */
    u4 state;                           /* P+20 the activation (method kind) */
    u4 save_ebx;                        /* P+24 catch point */
    u4 save_esi;                        /* P+28 */
    u4 save_edi;                        /* P+32 */
    u4 save_ebp;                        /* P+36 */
    u4 save_esp;                        /* P+40 */
    u4 save_eip;                        /* P+44 */
};
static_assert(sizeof(vm_registration) == 0x38);
static_assert(offsetof(vm_registration, resume) == 8 + REG_RESUME);
static_assert(offsetof(vm_registration, ee) == 8 + REG_EE);
static_assert(offsetof(vm_registration, next) == 8 + REG_NEXT);
static_assert(offsetof(vm_registration, handler) == 8 + REG_HANDLER);
static_assert(offsetof(vm_registration, monitors) == 8 + REG_MONITORS);
static_assert(offsetof(vm_registration, bound) == 8 + REG_BOUND);
static_assert(offsetof(vm_registration, method) == 8 + REG_METHOD);
static_assert(offsetof(vm_registration, state) == 8 + REG_STATE);
static_assert(offsetof(vm_registration, save_ebx) == 8 + REG_SAVE_EBX);
static_assert(offsetof(vm_registration, save_esi) == 8 + REG_SAVE_ESI);
static_assert(offsetof(vm_registration, save_edi) == 8 + REG_SAVE_EDI);
static_assert(offsetof(vm_registration, save_ebp) == 8 + REG_SAVE_EBP);
static_assert(offsetof(vm_registration, save_esp) == 8 + REG_SAVE_ESP);
static_assert(offsetof(vm_registration, save_eip) == 8 + REG_SAVE_EIP);

/* Interpreter activation record: one per entry of the interpreter loop from
 * native code, reserved at the bottom of the entry routine's frame. */
struct vm_activation {
    vm_registration reg;                /* 0x00 P = this + 8; catch point eip at 0x34 */
    transition_record ract;             /* 0x38 {prev head, &T, &T, entry ebp} */
    u4 t[9];                            /* 0x48 T: word 8 = 0xDEADBEEF */
    JavaFrame* first_frame;             /* 0x6C */
    u1* handler_pc;                     /* 0x70 written by the restart stub */
    u4 exc_object;                      /* 0x74 written by the restart stub */
    u4 jstack_top;                      /* 0x78 */
    JavaFrame* entry_frame;             /* 0x7C EE+8 at entry */
    u4 entry_mode;                      /* 0x80 */
    u4 entry_flags;                     /* 0x84 ACTF_* */
    u4 reserved_88[6];                  /* 0x88 */
};
static_assert(sizeof(vm_activation) == ACT_SIZE);
static_assert(offsetof(vm_activation, reg) == ACT_REG);
static_assert(offsetof(vm_activation, reg) + offsetof(vm_registration, next) == ACT_P);
static_assert(offsetof(vm_activation, reg) + offsetof(vm_registration, save_eip) == ACT_CATCH_EIP);
static_assert(offsetof(vm_activation, ract) == ACT_RACT);
static_assert(offsetof(vm_activation, t) == ACT_T);
static_assert(offsetof(vm_activation, first_frame) == ACT_FIRST_FRAME);
static_assert(offsetof(vm_activation, handler_pc) == ACT_HANDLER_PC);
static_assert(offsetof(vm_activation, exc_object) == ACT_EXC_OBJECT);
static_assert(offsetof(vm_activation, jstack_top) == ACT_JSTACK_TOP);
static_assert(offsetof(vm_activation, entry_frame) == ACT_ENTRY_FRAME);
static_assert(offsetof(vm_activation, entry_mode) == ACT_ENTRY_MODE);
static_assert(offsetof(vm_activation, entry_flags) == ACT_ENTRY_FLAGS);

/* The interpreter transfer record (XS_*), addressed from the stub's ebp. */
struct vm_xfer_state {
    JavaFrame* frame;                   /* ebp - 0x20 */
    methodblock* method;                /* ebp - 0x1C */
    u1* pc;                             /* ebp - 0x18 */
    u4 return_slot;                     /* ebp - 0x14 */
    u4 caller_ebp;                      /* ebp - 0x10 */
    u4 monitor;                         /* ebp - 0x0C */
    u4 result;                          /* ebp - 0x08 */
    u4 return_kind;                     /* ebp - 0x04 */
};
static_assert(sizeof(vm_xfer_state) == XS_SIZE);
static_assert(offsetof(vm_xfer_state, frame) == XS_SIZE + XS_FRAME);
static_assert(offsetof(vm_xfer_state, method) == XS_SIZE + XS_METHOD);
static_assert(offsetof(vm_xfer_state, pc) == XS_SIZE + XS_PC);
static_assert(offsetof(vm_xfer_state, return_slot) == XS_SIZE + XS_RETURN_SLOT);
static_assert(offsetof(vm_xfer_state, caller_ebp) == XS_SIZE + XS_CALLER_EBP);
static_assert(offsetof(vm_xfer_state, monitor) == XS_SIZE + XS_MONITOR);
static_assert(offsetof(vm_xfer_state, result) == XS_SIZE + XS_RESULT);
static_assert(offsetof(vm_xfer_state, return_kind) == XS_SIZE + XS_RETURN_KIND);

/* Monitor-list node linked into a registration by compiled code. */
struct monitor_node {
    monitor_node* next;
    u4 object;
};
static_assert(sizeof(monitor_node) == 8);

/* Frame iterator: six words owned by the caller. */
struct frame_iterator {
    JavaFrame* interp_frame;            /* word 0 */
    u4 frame;                           /* word 1 frame address */
    void* committed_code;               /* word 2 */
    u4 frame_base;                      /* word 3 */
    void* inlined;                      /* word 4 */
    u4 kind;                            /* word 5 FIK_* */
};
static_assert(sizeof(frame_iterator) == 24);
static_assert(offsetof(frame_iterator, kind) == 20);

/* Profiler state behind link-vector slot 85: all zero = no profiling. */
struct jvmpi_info {
    u4 words[8];
};
static_assert(sizeof(jvmpi_info) == 32);

/* Result of a Java call as the VM's C++ side sees it. */
union JValue {
    s4 i;
    u4 u;
    float f;
    double d;
    int64_t j;
    u4 w[2];                            /* w[0] low, w[1] high */
};
static_assert(sizeof(JValue) == 8);

/* Quick allocation entry of the GC link vector (words 12 and 16). */
typedef void* (*orva_quick_alloc_fn)(EE* ee, u4 word0, u4 flags, u4 size);

/* System monitor storage handed to orva_sysMonitor* (at most 64 bytes). */
#define SYS_MONITOR_SIZE        40
#define SYS_MONITOR_MAX_SIZE    64

#endif /* __ASSEMBLER__ */

/* Assembly-visible offsets checked against the records. */
#ifndef __ASSEMBLER__
static_assert(EE_SIZE == 0x200);
static_assert(TLA_EE_OFFSET + EE_SIZE <= 0x1000);
#endif

#endif /* ORVA_VM_ABI_H */
