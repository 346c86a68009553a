// Fixture of the register manager's tests: a code-generation context over an
// executable page with a method, blocks and a frame, and a harness that runs
// the emitted code with chosen register, frame and x87 contents and reads
// them back.
//
// Frame: locals and operand-stack slots are addressed as the method glue
// lays them out (C_Style_local / C_Style_stack, no saved registers, no
// arguments): local i at E - 4 - 4i, operand-stack slot s below the locals.
// The fixture starts with the stack offset of a body whose prologue reserved
// the locals and RM_TEST_STACK_SLOTS stack words.
#ifndef ORVA_TESTS_REG_TEST_UTIL_H
#define ORVA_TESTS_REG_TEST_UTIL_H

#include <string>
#include <vector>

#include "codegen/regman/reg_manager.h"

constexpr int RM_TEST_BLOCKS = 8;
constexpr int RM_TEST_LOCALS = 16;
constexpr int RM_TEST_STACK_SLOTS = 8;

struct rm_fixture {
    codegen_context cg;
    method_code_info mci;
    method_compile_context m;
    methodblock mb;
    bbattr bb[RM_TEST_BLOCKS];
    bbattr* bbt[RM_TEST_BLOCKS];
    u4 local_table[64];
    u1* start;            // where the code under test begins
    s2 start_sp;          // the stack offset the code under test begins with
};

// A fresh fixture for the writing pass (pass 2) or the measuring pass:
// `nblocks` blocks (block 0 entry, the last the exit), `nlocals` locals,
// the register manager initialised, current block 1.  Live sets are
// unavailable unless the test clears MCC_LIVENESS_UNAVAILABLE and fills them.
void rm_setup(rm_fixture* f, int nblocks = 4, int nlocals = 8, int pass = CG_PASS_WRITE);

// Operand descriptors.
reg_operand local_op(s4 local, char type = 'I');
reg_operand stack_op(s4 index, u2 slot, char type = 'I');
reg_operand const_op(s4 value, char type = 'I');

// Machine state around a run of emitted code.
struct machine {
    u4 reg[7];                 // by manager number: eax edx ecx ebx ebp esi edi
    u4 frame[64];              // words of the frame: frame[k] is at E - 4 - 4k (local k, then stack slots)
    std::vector<double> fp;    // x87 stack, bottom first
    u2 fpu_status;             // status word after the run (TOP in bits 11-13)
};

// Runs the code emitted since f->start: loads `in` (registers, frame words,
// x87 values bottom first), runs, and stores the registers, the frame and
// `fp_out` x87 values (popped from the top) into `out` (bottom first).
void rm_run(rm_fixture* f, const machine& in, machine* out, int fp_out);

// When set, rm_run places the frame base E here instead of in its own area
// (tests whose code reaches the thread-local area by masking esp).
extern u1* rm_frame_base;

// Frame word index of a local and of an operand-stack slot.
int frame_word_of_local(s4 local);
int frame_word_of_stack(s4 slot);

// Frame words hold floats for x87 tests.
u4 float_bits(float v);
float bits_float(u4 w);

// The code emitted since f->start, in hex.
std::string emitted_hex(const rm_fixture* f);

// Records of the data-table stand-in.
extern int datatable_registrations;

#endif
