// A small interpreter of final quadruples, for tests only.
//
// Runs a method's quadruples after the front half (the stack pass and
// generate_quadruple) on int, long, float and double values held in the
// method-wide variable numbering, so that a test can compare the result with
// our bytecode interpreter.  It knows the value computations, moves,
// compares, branches, switches, conversions and returns; anything else
// (calls, fields, arrays, allocation, checks, exceptions) stops it with the
// opcode it met, so a test learns that the method is outside its reach
// rather than getting a wrong answer.
//
// Variables of a long or double hold the high word at the descriptor's
// number n and the low word at n + 1.  Incoming arguments are one word each
// (ints), placed in the locals before the first quadruple runs.
#ifndef ORVA_TESTS_FRONTEND_QUAD_INTERP_H
#define ORVA_TESTS_FRONTEND_QUAD_INTERP_H

#include <string>

#include "vm_abi.h"

struct method_compile_context;

struct quad_interp_result {
    bool ok;
    std::string why;        // what stopped it when not ok
    u4 value[2];            // the returned value, low word first (a JValue's w[])
    u4 steps;               // quadruples executed
};

quad_interp_result quad_interpret(const method_compile_context* m, const u4* args, u4 nargs, u4 step_limit);

#endif // ORVA_TESTS_FRONTEND_QUAD_INTERP_H
