// Opcode attribute tables.
//
// `opc_info_quadruple` gives the passes one attribute word per opcode; it
// comes from the opcode list of quad.h.  `opc_table_type` maps an operand's
// data type to the opcode of each typed operation.  Start-up fills both once,
// before any compilation; they never change afterwards.
#include <string.h>

#include "frontend/frontend.h"

u4 opc_info_quadruple[OPC_COUNT];
opc_type_row opc_table_type[8];

namespace {

constexpr u4 attribute_words[OPC_COUNT] = {
#define X(num, name, attr) attr,
    ORVA_QUAD_OPCODES(X)
#undef X
};

// Rows 1..7 (row 0 stays zero): move, getfield, putfield, getstatic,
// putstatic, constant, array load, array store, class bits, two-word.
constexpr opc_type_row type_rows[8] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, {}},
    {OPC_IMOVE, OPC_IGETFIELD, OPC_IPUTFIELD, OPC_IGETSTATIC, OPC_IPUTSTATIC, OPC_ICONST, OPC_IALOAD, OPC_IASTORE, 16, 0, {}},
    {OPC_AMOVE, OPC_AGETFIELD, OPC_APUTFIELD, OPC_AGETSTATIC, OPC_APUTSTATIC, OPC_ACONST, OPC_AALOAD, OPC_AASTORE, 32, 0, {}},
    {OPC_LMOVE, OPC_LGETFIELD, OPC_LPUTFIELD, OPC_LGETSTATIC, OPC_LPUTSTATIC, OPC_LCONST, OPC_LALOAD, OPC_LASTORE, 48, 1, {}},
    {OPC_DMOVE, OPC_DGETFIELD, OPC_DPUTFIELD, OPC_DGETSTATIC, OPC_DPUTSTATIC, OPC_DCONST, OPC_DALOAD, OPC_DASTORE, 64, 1, {}},
    {OPC_FMOVE, OPC_FGETFIELD, OPC_FPUTFIELD, OPC_FGETSTATIC, OPC_FPUTSTATIC, OPC_FCONST, OPC_FALOAD, OPC_FASTORE, 80, 0, {}},
    {OPC_AMOVE, 0, 0, 0, 0, 0, OPC_XALOAD, OPC_XASTORE, 96, 0, {}},
    {OPC_AMOVE, 0, 0, 0, 0, 0, OPC_XALOAD, OPC_XASTORE, 112, 0, {}},
};

} // namespace

void jit_quadruple_initialize(void)
{
    memcpy(opc_info_quadruple, attribute_words, sizeof(opc_info_quadruple));
    memcpy(opc_table_type, type_rows, sizeof(opc_table_type));
}
