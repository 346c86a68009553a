// Random integer programs over locals, emitted through the register manager
// the way a code generator uses it, and evaluated on a reference model.
// Reads are checked at checkpoints: the register a read returns is stored to
// an absolute checkpoint word that the test reads back after the run.
#ifndef ORVA_TESTS_REG_PROGRAM_H
#define ORVA_TESTS_REG_PROGRAM_H

#include <cstdint>
#include <vector>

#include "reg_test_util.h"

extern u4 checkpoint_words[512];

enum prog_kind { P_WRITE, P_READ, P_ADD, P_READ_MASK, P_TEMP_SUM, P_SPILL, P_FLUSH_KILL };

struct prog_op {
    prog_kind kind;
    int a, b, c;        // locals
    u4 imm;             // value, or mask, or drop flag
};

// Reference state: the locals' values and the checkpoints written so far.
struct prog_state {
    std::vector<u4> value;
    std::vector<u4> checkpoints;
};

struct reg_program {
    rm_fixture* f;
    int nlocals;
    uint32_t seed;
    int next_checkpoint = 0;

    uint32_t next()
    {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    }
    prog_op random_op();
    // Emits one operation (checkpoints numbered in emission order).
    void emit(const prog_op& op);
};

// Evaluates one operation on the reference state.
void eval(const prog_op& op, prog_state* s);

// Verifies the checkpoints and the locals' frame slots after a run whose
// code flushed every register; false (with a failure) on a mismatch.
bool verify_program(const prog_state& s, const machine& out, int nlocals, const char* what);

bool prog_tracing();
void prog_trace_state(rm_fixture* f, const char* where);
void prog_trace_op(const prog_op& op);

#endif
