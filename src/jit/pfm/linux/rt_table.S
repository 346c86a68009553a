/*
 * The run-time routine table `decode_table`: routine k of the interface
 * between generated code and the run-time support is decode_table[k], and
 * generated code calls it with a 5-byte relative call.  The numbering never
 * changes.  Slots whose routine is not part of this library yet hold
 * rt_missing_routine, which names the slot's caller and ends the process, so
 * a missing routine can never be mistaken for a working one.
 */
#include "vm_abi.h"
#include "lib/rt_support.h"

#define ENTRY(name) \
        .globl  name; \
        .hidden name; \
        .type   name, @function; \
name:

#define MISSING rt_missing_routine

        .data
        .globl  decode_table
        .hidden decode_table
        .type   decode_table, @object
        .balign 4
decode_table:
        .long   __ldc                   /* 0 */
        .long   __lookupswitch          /* 1 */
        .long   __getstatic             /* 2 */
        .long   __putstatic             /* 3 */
        .long   __getfield              /* 4 */
        .long   __putfield              /* 5 */
        .long   __invokevirtual         /* 6 */
        .long   __invokestatic          /* 7 (invokespecial) */
        .long   __invokestatic          /* 8 */
        .long   __invokeinterface /* 9 */
        .long   __new                   /* 10 */
        .long   __checkcast             /* 11 */
        .long   __instanceof            /* 12 */
        .long   __invokeinterface_quick /* 13 */
        .long   __new_quick             /* 14 */
        .long   __checkcast_quick       /* 15 */
        .long   __instanceof_quick      /* 16 */
        .long   _jit_fast_compile       /* 17 */
        .long   _orva_is_instance_of    /* 18 */
        .long   _jit_checkcast          /* 19 */
        .long   _orva_ObjAlloc          /* 20 */
        .long   _jit_newarray           /* 21 */
        .long   _jit_anewarray          /* 22 */
        .long   _jit_anewarray_quick    /* 23 */
        .long   _jit_multianewarray     /* 24 */
        .long   _jit_multianewarray_quick /* 25 */
        .long   _ll_mul                 /* 26 */
        .long   _ll_div                 /* 27 */
        .long   _ll_rem                 /* 28 */
        .long   _li_div                 /* 29 */
        .long   _li_rem                 /* 30 */
        .long   __powerof               /* 31 */
        .long   __logof                 /* 32 */
        .long   __expof                 /* 33 */
        .long   __maxof                 /* 34 */
        .long   __minof                 /* 35 */
        .long   __floorof               /* 36 */
        .long   __floorof2              /* 37 */
        .long   __ceilof                /* 38 */
        .long   __ceilof2               /* 39 */
        .long   __get_correct_f2i       /* 40 */
        .long   __get_invokeinterf_mb_and_set_guess /* 41 */
        .long   _jit_Athrow             /* 42 */
        .long   THROW_EXCEPTION_ABSTRACTMETHOD                          /* 43 */
        .long   THROW_EXCEPTION_ARRAY_OUTOFBOUNDS                       /* 44 */
        .long   THROW_EXCEPTION_ARRAYSTORE                              /* 45 */
        .long   THROW_EXCEPTION_CHECKCAST                               /* 46 */
        .long   THROW_EXCEPTION_GETPUTFIELD                             /* 47 */
        .long   THROW_EXCEPTION_GETPUTSTATIC                            /* 48 */
        .long   THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_field         /* 49 */
        .long   THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_static        /* 50 */
        .long   THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokevirtual /* 51 */
        .long   THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokestatic  /* 52 */
        .long   THROW_EXCEPTION_INCOMPATIBLE_CLASS_CHANGE_invokeinterface /* 53 */
        .long   THROW_EXCEPTION_INTERFACE_FOUND                         /* 54 */
        .long   THROW_EXCEPTION_INVOKEINTERFACE                         /* 55 */
        .long   THROW_EXCEPTION_INVOKESTATIC                            /* 56 */
        .long   THROW_EXCEPTION_INVOKEVIRTUAL                           /* 57 */
        .long   THROW_EXCEPTION_LINKERROR                               /* 58 */
        .long   THROW_EXCEPTION_NULL_POINTER                            /* 59 */
        .long   THROW_EXCEPTION_THROWN                                  /* 60 */
        .long   THROW_EXCEPTION_DIV0                                    /* 61 */
        .long   THROW_EXCEPTION_NEGATIVE_ARRAYSIZE                      /* 62 */
        .long   THROW_EXCEPTION_OUT_OF_MEMORY                           /* 63 */
        .long   THROW_EXCEPTION_ILLEGAL_ACCESS                          /* 64 */
        /* 65..124: synchronized-method entry, four groups of 15 */
        .irp    group, __enter_sync_method_, __enter_sync_method_with_try_, __enter_sync_method_mp_, __enter_sync_method_mp_with_try_
        .irp    fp, 0, 1, 2, 3, 4
        .long   \group\()int01_fp\fp, \group\()int2_fp\fp, \group\()int3_fp\fp
        .endr
        .endr
        /* 125..140: synchronized-method exit, four groups of 4 */
        .irp    group, __exit_sync_method, __exit_sync_method_with_try, __exit_sync_method_mp, __exit_sync_method_mp_with_try
        .long   \group, \group\()_int, \group\()_long, \group\()_fp
        .endr
        /* 141..148: array copy forward, then backward */
        .irp    dir, , _r
        .long   __orva_system_arraycopy_1byte\dir, __orva_system_arraycopy_2byte\dir
        .long   __orva_system_arraycopy_4byte\dir, __orva_system_arraycopy_8byte\dir
        .endr
        /* 149..154: gates and call binding; 155 __execute_clinit */
        .long   __gate_code                     /* 149 */
        .long   __bp_gate_code                  /* 150 */
        .long   __backpatch_invocation          /* 151 */
        .long   __invokestatic_initial_target   /* 152 */
        .long   __invokevirtual_initial_target  /* 153 */
        .long   __correct_direct_binding        /* 154 */
        .long   __execute_clinit                /* 155 */
        .long   _orva_ExecuteStaticInitializers /* 156 */
        .size   decode_table, RT_ENTRIES * 4

        .text
ENTRY(_GET_DECODE_TABLE_BASE)
        call    9f
9:      popl    %eax
        addl    $_GLOBAL_OFFSET_TABLE_+(.-9b), %eax
        leal    decode_table@GOTOFF(%eax), %eax
        ret
        .size   _GET_DECODE_TABLE_BASE, .-_GET_DECODE_TABLE_BASE

/* A slot without its routine: report the call site and end the process. */
ENTRY(rt_missing_routine)
        pushl   (%esp)
        call    rt_report_missing_routine
        hlt
        .size   rt_missing_routine, .-rt_missing_routine

        .section .note.GNU-stack,"",@progbits
