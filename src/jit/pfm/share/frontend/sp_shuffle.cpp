// Stack shuffle rewriting: OPC_DUP .. OPC_SWAP become moves between
// operand-stack slots.
//
// The operand stack lives in two register classes, integer-class words (int,
// reference, the two words of a long) and floating-class values (float,
// double).  The stack simulation leaves on every shuffle a form code naming
// the values it touches:
//   byte 0: integer-class words involved (a long counts 2)
//   byte 1: floating-class values involved (a double counts 1)
//   byte 2: the copied group (swap: the swapped pair), top value in the low
//           nibble, the value below it in the high nibble
//   byte 3: the skipped group of the _X1/_X2 forms, likewise
// with the type codes 1 int, 2 float, 3 long (0x33), 4 double (0x44),
// 5 reference.  Swap is matched on byte 2 only.
//
// Each row of the table below names the copied and skipped values (top
// first; w stands for an int or a reference word) and the moves that give the
// shuffle's effect on the two stacks, in order; k X<-Y moves slot Y into slot
// X, relative to the tops before the shuffle (P, F) or after it (Pa).  Slots
// above the tops are the shuffle's new slots or scratch slots.  A move of a
// word takes OPC_AMOVE when the word it carries is a reference and
// OPC_IMOVE otherwise; the table's rows are written once, in that notation,
// and turned into moves when the compiler is built.  Each move names its two
// slots as variables of its type (kind bytes 17, 33, 49, 81, 65), numbered
// relative to the stack's bottom; the conversion to the final form adds the
// stack's base.
#include <stdio.h>

#include <initializer_list>

#include "driver/driver.h"
#include "frontend/stackpass.h"

namespace {

struct row_text {
    u1 opcode;
    const char* copied;
    const char* skipped;
    u1 added;               // quadruples the block gains: moves - 1
    const char* moves;      // "" for a shuffle that becomes a no-operation
};

constexpr row_text kRows[] = {
    {OPC_DUP, "f", "", 0, "f F+1<-F"},
    {OPC_DUP, "w", "", 0, "w P+1<-P"},
    {OPC_DUP2, "l", "", 0, "l P+1<-P-1"},
    {OPC_DUP2, "d", "", 0, "d F+1<-F"},
    {OPC_DUP2, "f f", "", 1, "f F+1<-F-1; f F+2<-F"},
    {OPC_DUP2, "f w", "", 1, "f F+1<-F; w P+1<-P"},
    {OPC_DUP2, "w f", "", 1, "w P+1<-P; f F+1<-F"},
    {OPC_DUP2, "w w", "", 1, "w P+1<-P-1; w P+2<-P"},
    {OPC_DUP_X1, "f", "f", 2, "f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP_X1, "f", "w", 0, "f F+1<-F"},
    {OPC_DUP_X1, "w", "f", 0, "w P+1<-P"},
    {OPC_DUP_X1, "w", "w", 2, "w P+1<-P; w P<-P-1; w P-1<-P+1"},
    {OPC_DUP2_X1, "l", "f", 0, "l P+1<-P-1"},
    {OPC_DUP2_X1, "l", "w", 2, "l P+1<-P-1; w P<-P-2; l P-2<-P+1"},
    {OPC_DUP2_X1, "d", "f", 2, "d F+1<-F; f F<-F-1; d F-1<-F+1"},
    {OPC_DUP2_X1, "d", "w", 0, "d F+1<-F"},
    {OPC_DUP2_X1, "f f", "f", 4, "f F+2<-F; f F+1<-F-1; f F<-F-2; f F-2<-F+1; f F-1<-F+2"},
    {OPC_DUP2_X1, "f f", "w", 1, "f F+2<-F; f F+1<-F-1"},
    {OPC_DUP2_X1, "f w", "f", 3, "f F+1<-F; f F<-F-1; f F-1<-F+1; w P+1<-P"},
    {OPC_DUP2_X1, "f w", "w", 3, "w P+1<-P; w P<-P-1; w P-1<-P+1; f F+1<-F"},
    {OPC_DUP2_X1, "w f", "f", 3, "f F+1<-F; f F<-F-1; f F-1<-F+1; w P+1<-P"},
    {OPC_DUP2_X1, "w f", "w", 3, "w P+1<-P; w P<-P-1; w P-1<-P+1; f F+1<-F"},
    {OPC_DUP2_X1, "w w", "f", 1, "w P+2<-P; w P+1<-P-1"},
    {OPC_DUP2_X1, "w w", "w", 4, "w P+2<-P; w P+1<-P-1; w P<-P-2; w P-2<-P+1; w P-1<-P+2"},
    {OPC_DUP_X2, "f", "l", 0, "f F+1<-F"},
    {OPC_DUP_X2, "f", "d", 2, "f F+1<-F; d F<-F-1; f F-1<-F+1"},
    {OPC_DUP_X2, "f", "f f", 3, "f F+1<-F; f F<-F-1; f F-1<-F-2; f F-2<-F+1"},
    {OPC_DUP_X2, "f", "f w", 2, "f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP_X2, "f", "w f", 2, "f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP_X2, "f", "w w", 0, "f F+1<-F"},
    {OPC_DUP_X2, "w", "l", 2, "w P+1<-P; l P-1<-P-2; w P-2<-P+1"},
    {OPC_DUP_X2, "w", "d", 0, "w P+1<-P"},
    {OPC_DUP_X2, "w", "f f", 0, "w P+1<-P"},
    {OPC_DUP_X2, "w", "f w", 2, "w P+1<-P; w P<-P-1; w P-1<-P+1"},
    {OPC_DUP_X2, "w", "w f", 2, "w P+1<-P; w P<-P-1; w P-1<-P+1"},
    {OPC_DUP_X2, "w", "w w", 3, "w Pa<-P; w P<-P-1; w P-1<-P-2; w P-2<-Pa"},
    {OPC_DUP2_X2, "l", "l", 2, "l P+1<-P-1; l P-1<-P-3; l P-3<-P+1"},
    {OPC_DUP2_X2, "l", "d", 0, "l P+1<-P-1"},
    {OPC_DUP2_X2, "l", "f f", 0, "l P+1<-P-1"},
    {OPC_DUP2_X2, "l", "f w", 2, "l P+1<-P-1; w P<-P-2; l P-2<-P+1"},
    {OPC_DUP2_X2, "l", "w f", 2, "l P+1<-P-1; w P<-P-2; l P-2<-P+1"},
    {OPC_DUP2_X2, "l", "w w", 3, "l P+1<-P-1; w P-1<-P-3; w P<-P-2; l P-3<-P+1"},
    {OPC_DUP2_X2, "d", "l", 0, "d F+1<-F"},
    {OPC_DUP2_X2, "d", "d", 2, "d F+1<-F; d F<-F-1; d F-1<-F+1"},
    {OPC_DUP2_X2, "d", "f f", 3, "d F+1<-F; f F<-F-1; f F-1<-F-2; d F-2<-F+1"},
    {OPC_DUP2_X2, "d", "f w", 2, "d F+1<-F; f F<-F-1; d F-1<-F+1"},
    {OPC_DUP2_X2, "d", "w f", 2, "d F+1<-F; f F<-F-1; d F-1<-F+1"},
    {OPC_DUP2_X2, "d", "w w", 0, "d F+1<-F"},
    {OPC_DUP2_X2, "f f", "l", 1, "f F+2<-F; f F+1<-F-1"},
    {OPC_DUP2_X2, "f f", "d", 4, "f F+2<-F; f F+1<-F-1; d F<-F-2; f F-2<-F+1; f F-1<-F+2"},
    {OPC_DUP2_X2, "f f", "f f", 5, "f F+2<-F; f F+1<-F-1; f F<-F-2; f F-1<-F-3; f F-2<-F+2; f F-3<-F+1"},
    {OPC_DUP2_X2, "f f", "f w", 4, "f F+2<-F; f F+1<-F-1; f F<-F-2; f F-2<-F+1; f F-1<-F+2"},
    {OPC_DUP2_X2, "f f", "w f", 4, "f F+2<-F; f F+1<-F-1; f F<-F-2; f F-2<-F+1; f F-1<-F+2"},
    {OPC_DUP2_X2, "f f", "w w", 1, "f F+2<-F; f F+1<-F-1"},
    {OPC_DUP2_X2, "f w", "l", 3, "w P+1<-P; l P-1<-P-2; w P-2<-P+1; f F+1<-F"},
    {OPC_DUP2_X2, "f w", "d", 3, "f F+1<-F; d F<-F-1; f F-1<-F+1; w P+1<-P"},
    {OPC_DUP2_X2, "f w", "f f", 4, "f F+1<-F; f F<-F-1; f F-1<-F-2; f F-2<-F+1; w P+1<-P"},
    {OPC_DUP2_X2, "f w", "f w", 5, "w P+1<-P; w P<-P-1; w P-1<-P+1; f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP2_X2, "f w", "w f", 5, "w P+1<-P; w P<-P-1; w P-1<-P+1; f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP2_X2, "f w", "w w", 4, "w P+1<-P; w P<-P-1; w P-1<-P-2; w P-2<-P+1; f F+1<-F"},
    {OPC_DUP2_X2, "w f", "l", 3, "w P+1<-P; l P-1<-P-2; w P-2<-P+1; f F+1<-F"},
    {OPC_DUP2_X2, "w f", "d", 3, "f F+1<-F; d F<-F-1; f F-1<-F+1; w P+1<-P"},
    {OPC_DUP2_X2, "w f", "f f", 4, "f F+1<-F; f F<-F-1; f F-1<-F-2; f F-2<-F+1; w P+1<-P"},
    {OPC_DUP2_X2, "w f", "f w", 5, "w P+1<-P; w P<-P-1; w P-1<-P+1; f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP2_X2, "w f", "w f", 5, "w P+1<-P; w P<-P-1; w P-1<-P+1; f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_DUP2_X2, "w f", "w w", 4, "w P+1<-P; w P<-P-1; w P-1<-P-2; w P-2<-P+1; f F+1<-F"},
    {OPC_DUP2_X2, "w w", "l", 4, "w P+2<-P; w P+1<-P-1; l P-1<-P-3; w P-3<-P+1; w P-2<-P+2"},
    {OPC_DUP2_X2, "w w", "d", 1, "w P+2<-P; w P+1<-P-1"},
    {OPC_DUP2_X2, "w w", "f f", 1, "w P+2<-P; w P+1<-P-1"},
    {OPC_DUP2_X2, "w w", "f w", 4, "w P+2<-P; w P+1<-P-1; w P<-P-2; w P-2<-P+1; w P-1<-P+2"},
    {OPC_DUP2_X2, "w w", "w f", 4, "w P+2<-P; w P+1<-P-1; w P<-P-2; w P-2<-P+1; w P-1<-P+2"},
    {OPC_DUP2_X2, "w w", "w w", 5, "w P+2<-P; w P+1<-P-1; w P<-P-2; w P-1<-P-3; w P-3<-P+1; w P-2<-P+2"},
    {OPC_SWAP, "f f", "", 2, "f F+1<-F; f F<-F-1; f F-1<-F+1"},
    {OPC_SWAP, "f w", "", 0, ""},
    {OPC_SWAP, "w f", "", 0, ""},
    {OPC_SWAP, "w w", "", 2, "w P+1<-P; w P<-P-1; w P-1<-P+1"},
};

constexpr u4 kRowCount = sizeof kRows / sizeof kRows[0];

// Not constexpr: reached only by the constant evaluation of a malformed row,
// where the call makes the table fail to compile.
void shuffle_table_is_malformed() {}

constexpr bool is_value(char c) { return c == 'w' || c == 'l' || c == 'f' || c == 'd'; }

// "f w" -> {'f', 'w'}; "" -> {0, 0}.
constexpr void parse_values(const char* text, char out[2])
{
    out[0] = out[1] = 0;
    int n = 0;
    for (const char* p = text; *p != '\0'; p++) {
        if (*p == ' ')
            continue;
        if (!is_value(*p) || n == 2)
            shuffle_table_is_malformed();
        out[n++] = *p;
    }
}

constexpr int parse_number(const char*& p)
{
    int v = 0;
    if (*p < '0' || *p > '9')
        shuffle_table_is_malformed();
    while (*p >= '0' && *p <= '9')
        v = v * 10 + (*p++ - '0');
    return v;
}

// "P+1", "F-2", "Pa" -> base and offset.
constexpr void parse_slot(const char*& p, char& base, int8_t& offset)
{
    if (*p != 'P' && *p != 'F')
        shuffle_table_is_malformed();
    base = *p++;
    if (*p == 'a') {
        base = 'A';
        p++;
    }
    offset = 0;
    if (*p == '+' || *p == '-') {
        bool minus = *p++ == '-';
        int v = parse_number(p);
        offset = static_cast<int8_t>(minus ? -v : v);
    }
}

constexpr shuffle_row parse_row(const row_text& t)
{
    shuffle_row r{};
    r.opcode = t.opcode;
    parse_values(t.copied, r.copied);
    parse_values(t.skipped, r.skipped);
    const char* p = t.moves;
    int n = 0;
    while (*p != '\0') {
        if (n == SHUFFLE_MAX_MOVES || !is_value(*p))
            shuffle_table_is_malformed();
        shuffle_move& m = r.moves[n++];
        m.kind = *p++;
        if (*p++ != ' ')
            shuffle_table_is_malformed();
        parse_slot(p, m.dst_base, m.dst_offset);
        if (p[0] != '<' || p[1] != '-')
            shuffle_table_is_malformed();
        p += 2;
        parse_slot(p, m.src_base, m.src_offset);
        if (*p == ';') {
            p++;
            if (*p++ != ' ')
                shuffle_table_is_malformed();
        } else if (*p != '\0') {
            shuffle_table_is_malformed();
        }
    }
    r.move_count = static_cast<u1>(n);
    if (t.added != (n == 0 ? 0 : n - 1) || r.copied[0] == 0)
        shuffle_table_is_malformed();
    return r;
}

struct row_table {
    shuffle_row rows[kRowCount];
};

constexpr row_table build_rows()
{
    row_table t{};
    for (u4 i = 0; i < kRowCount; i++)
        t.rows[i] = parse_row(kRows[i]);
    return t;
}

constinit const row_table kTable = build_rows();

// Type code of a value in the form code (w is matched separately).
constexpr u4 code_of(char v)
{
    switch (v) {
    case 'l': return 3;
    case 'f': return 2;
    case 'd': return 4;
    default: return 0;
    }
}

// Does the form-code byte describe the group (top value first)?
bool group_matches(const char group[2], u4 byte)
{
    u4 low = byte & 0xF, high = byte >> 4;
    auto value_matches = [](char v, u4 code) { return v == 'w' ? code == 1 || code == 5 : code == code_of(v); };
    if (group[0] == 0)
        return byte == 0;
    if (group[1] == 0) {
        if (group[0] == 'l' || group[0] == 'd')
            return byte == code_of(group[0]) * 0x11;
        return high == 0 && value_matches(group[0], low);
    }
    return value_matches(group[0], low) && value_matches(group[1], high);
}

bool row_matches(const shuffle_row& r, u4 form)
{
    if (!group_matches(r.copied, (form >> 16) & 0xFF))
        return false;
    if (r.opcode == OPC_SWAP)
        return true;
    u4 words = 0, fvalues = 0;
    for (const char* g : {r.copied, r.skipped})
        for (int i = 0; i < 2; i++) {
            char v = g[i];
            if (v == 'w')
                words += 1;
            else if (v == 'l')
                words += 2;
            else if (v == 'f' || v == 'd')
                fvalues += 1;
        }
    return (form & 0xFF) == words && ((form >> 8) & 0xFF) == fvalues && group_matches(r.skipped, form >> 24);
}

const char* illegal_message(u1 opcode)
{
    switch (opcode) {
    case OPC_DUP: return "Illegal DUP!!\n";
    case OPC_DUP2: return "Illegal DUP2!!\n";
    case OPC_DUP_X1: return "Illegal DUPX1!!\n";
    case OPC_DUP_X2: return "Illegal DUP1X2!!\n";
    case OPC_DUP2_X1: return "Illegal DUP2X1!!\n";
    case OPC_DUP2_X2: return "Illegal DUP2X1!!\n";     // the same text as DUP2_X1
    default: return "Illegal SWAP!!\n";
    }
}

// Shuffles whose last move is the shuffle quadruple itself; the others drop
// it and store clones only.
bool reuses_quadruple(u1 opcode)
{
    return opcode == OPC_DUP2 || opcode == OPC_DUP_X1 || opcode == OPC_DUP2_X1 || opcode == OPC_DUP2_X2;
}

// Integer-class slot types around the shuffle (P-4 .. P+3), from the form
// code: 1 int, 5 reference, 3 long word, 0 unknown.  A word move takes its
// opcode from the type of the word it carries.
struct int_window {
    static constexpr int LOW = -4, SIZE = 8;
    u1 type[SIZE];
    u1& at(int rel) { return type[rel - LOW]; }
    bool inside(int rel) const { return rel >= LOW && rel < LOW + SIZE; }
};

void fill_window(int_window& w, const shuffle_row& r, u4 form)
{
    for (u1& t : w.type)
        t = 0;
    int rel = 0;    // slot of the next integer-class value down from the top P
    u4 bytes[2] = {(form >> 16) & 0xFF, form >> 24};
    const char* groups[2] = {r.copied, r.skipped};
    for (int g = 0; g < 2; g++)
        for (int i = 0; i < 2 && groups[g][i] != 0; i++) {
            char v = groups[g][i];
            if (v == 'w') {
                u4 code = i == 0 ? bytes[g] & 0xF : bytes[g] >> 4;
                if (w.inside(rel))
                    w.at(rel) = static_cast<u1>(code);
                rel -= 1;
            } else if (v == 'l') {
                if (w.inside(rel - 1))
                    w.at(rel) = w.at(rel - 1) = 3;
                rel -= 2;
            }
        }
}

// A floating slot that receives a double takes two variable numbers in the
// final form (the stack simulation's slot marks, which the conversion reads).
// The simulation marks the slots of the doubles a shuffle copies; a double
// the shuffle only moves (under a copy, or through a scratch slot) lands in
// a slot the simulation never saw it in, so the move marks it.
void mark_double_slot(method_compile_context* m, int slot)
{
    auto* marks = static_cast<u1*>(m->mark_array);
    if (marks != nullptr && slot >= 0 && slot < static_cast<int>(m->float_slot_count))
        marks[slot] = 1;
}

// Variable kind byte of a move's operands.
u1 move_kind_byte(u1 opcode)
{
    switch (opcode) {
    case OPC_AMOVE: return KB_REF;
    case OPC_LMOVE: return KB_LONG;
    case OPC_FMOVE: return KB_FLOAT;
    case OPC_DMOVE: return KB_DOUBLE;
    default: return KB_INT;
    }
}

} // namespace

const shuffle_row* shuffle_rows(u4* count)
{
    *count = kRowCount;
    return kTable.rows;
}

const shuffle_row* find_shuffle_row(u1 opcode, u4 form)
{
    for (u4 i = 0; i < kRowCount; i++)
        if (kTable.rows[i].opcode == opcode && row_matches(kTable.rows[i], form))
            return &kTable.rows[i];
    return nullptr;
}

u4 sp_count_shuffle(stack_pass_state* s, quadruple* q)
{
    if (q->opcode == OPC_DUP)
        return 0;
    const shuffle_row* r = find_shuffle_row(q->opcode, shuffle_form_code(q));
    if (r == nullptr)
        return 0;
    return r->move_count == 0 ? 0 : r->move_count - 1u;
}

int sp_transform_shuffle(stack_pass_state* s, quadruple* q)
{
    u4 form = shuffle_form_code(q);
    const shuffle_row* r = find_shuffle_row(q->opcode, form);
    if (r == nullptr) {
        fputs(illegal_message(q->opcode), stderr);
        return 1;
    }
    if (r->move_count == 0) {
        quadruple* nop = sp_clone(s, q);
        sp_make_placeholder(nop);
        return sp_store(s, nop);
    }
    const int P = static_cast<int16_t>(s->P), F = static_cast<int16_t>(s->F), Pa = static_cast<int16_t>(s->Pa);
    auto slot = [&](char base, int8_t offset) {
        int b = base == 'P' ? P : base == 'F' ? F : Pa;
        return b + offset;
    };
    int_window window;
    fill_window(window, *r, form);
    bool reuse = reuses_quadruple(q->opcode);
    for (u4 i = 0; i < r->move_count; i++) {
        const shuffle_move& mv = r->moves[i];
        int dst = slot(mv.dst_base, mv.dst_offset), src = slot(mv.src_base, mv.src_offset);
        u1 opcode;
        switch (mv.kind) {
        case 'w': {
            int from = src - P, to = dst - P;
            u1 type = window.inside(from) ? window.at(from) : 0;
            opcode = type == 5 ? OPC_AMOVE : OPC_IMOVE;
            if (window.inside(to))
                window.at(to) = type;
            break;
        }
        case 'l': {
            int from = src - P, to = dst - P;
            for (int k = 0; k < 2; k++)
                if (window.inside(to + k))
                    window.at(to + k) = 3;
            (void)from;
            opcode = OPC_LMOVE;
            break;
        }
        case 'f':
            opcode = OPC_FMOVE;
            break;
        default:
            opcode = OPC_DMOVE;
            mark_double_slot(s->m, dst);
            break;
        }
        quadruple* m = reuse && i + 1 == r->move_count ? q : sp_clone(s, q);
        m->opcode = opcode;
        // Both operands are operand-stack variables of the move's type.  The
        // shuffle's own descriptors were cleared; a move whose operands read
        // as absent (kind 0) would mean nothing to the conversion and the
        // passes after it.
        u1 kind = move_kind_byte(opcode);
        m->result.kind = kind;
        m->result.number = static_cast<u2>(dst);
        m->src1.kind = kind;
        m->src1.number = static_cast<u2>(src);
        if (sp_store(s, m) != 0)
            return 1;
    }
    if (q->opcode == OPC_SWAP) {
        // The move through the slot above the stack needs that slot.
        bbattr* b = s->block;
        if (r->copied[0] == 'w') {
            s4 old = b->max_int_height;
            s4 top = static_cast<int16_t>(s->Pa) + 2;
            if (old <= top - 1) {
                b->max_int_height = static_cast<int16_t>(top);
                if (static_cast<s4>(s->m->max_stack) < top)
                    s->m->max_stack = static_cast<u2>(s->m->max_stack + (top - old));
            }
        } else {
            s4 old = b->max_float_height;
            s4 top = static_cast<int16_t>(s->Fa) + 2;
            if (old <= top - 1) {
                b->max_float_height = static_cast<int16_t>(top);
                if (static_cast<s4>(s->m->max_stack) < top)
                    s->m->max_stack = static_cast<u2>(s->m->max_stack + (top - old));
            }
        }
    }
    return 0;
}
