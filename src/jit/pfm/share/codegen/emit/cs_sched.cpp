// Instruction scheduler: a list scheduler over a short window of issue
// groups (stages) for the in-order IA-32 pipelines of processor classes 3..5.
//
// In the writing pass, with scheduling on and a window open, the emit layer
// (gen_emit.cpp) encodes each instruction into the window's scratch slot
// together with what it reads, writes and addresses, its latency and pairing
// class, and calls `insert_inst`.  The instruction is moved as early as its
// dependences and the pairing rules allow:
//
//   1. address dependences: not before two stages after the newest stage
//      that writes (or still has in flight) a base or index register;
//   2. other dependences: not before the newest stage that conflicts (its
//      busy mask, or one of its slots by the dependence test);
//   3. pairing: the first stage from there that accepts the instruction in
//      a slot by the two-slot (classes 3/4) or three-slot (class 5) rules;
//      else a new stage.
//
// Stages are written out in order when the ring of 8 is full and when the
// window closes (`cs_bb_finalize`), correcting the jump-patch, stack-offset
// and code-position records that travel with the moved instructions.
//
// Within a stage slots are written in slot order, so an instruction placed
// in a stage is written after the slots in front of it and before every
// later stage: the rules below only ever let an instruction pass
// instructions it has no dependence with.  Memory is one resource
// (CS_RES_MEMORY): the emit layer marks loads as reading it and stores as
// writing it, so a load never passes a store, nor a store a load.
#include "codegen/codegen.h"
#include "driver/driver.h"

int cs_stage_width(void) { return orva_processor_type == 5 ? 3 : 2; }

static void empty_slot(cs_slot* s)
{
    s->attr = 0;
    s->latency = 1;
    s->jmp_patch = nullptr;
    s->cp_ref = nullptr;
    s->sp_ref = nullptr;
}

static int abs_stage(const cs_window* cs, int rel) { return (cs->ring_start + rel) % CS_STAGES; }

static void empty_stage(cs_window* cs, int abs)
{
    cs->busy[abs] = 0;
    for (int k = 0; k < CS_MAX_WIDTH; k++)
        if (cs->stage[abs][k] != nullptr)
            empty_slot(cs->stage[abs][k]);
}

int cs_method_initialize(codegen_context* cg)
{
    cs_window* cs = (cs_window*)jit_wmem_alloc(cg->m->pool1, sizeof(cs_window));
    if (cs == nullptr)
        return 1;
    cs->pending = 0;
    cs->ring_start = 0;
    cg->cs = cs;
    return 0;
}

void cs_method_finalize(codegen_context*) {}

void cs_bb_initialize(codegen_context* cg, u1* code)
{
    cs_window* cs = cg->cs;
    int w = cs_stage_width();
    for (int s = 0; s < CS_STAGES; s++) {
        for (int k = 0; k < CS_MAX_WIDTH; k++) {
            cs->stage[s][k] = k < w ? &cs->slots[s * w + k] : nullptr;
            if (k < w)
                empty_slot(cs->stage[s][k]);
        }
        cs->busy[s] = 0;
    }
    cs->scratch = &cs->slots[CS_STAGES * w];
    empty_slot(cs->scratch);
    cs->ring_start = 0;
    cs->pending = 0;
    cs->output = code;
}

void flush_stage(codegen_context* cg, int stage)
{
    cs_window* cs = cg->cs;
    int w = cs_stage_width();
    cs->busy[stage] = 0;
    for (int k = 0; k < w; k++) {
        cs_slot* s = cs->stage[stage][k];
        if (s->attr == 0)
            continue;
        u1* start = cs->output;
        for (u4 i = 0; i < s->length; i++)
            start[i] = s->bytes[i];
        cs->output = start + s->length;
        if (s->jmp_patch != nullptr)
            patch_cmp_jmp_code(cg, s->jmp_patch, cs->output);
        if (s->sp_ref != nullptr)
            fix_sp_table_after_cs(cg, s->sp_ref, cs->output);
        if (s->cp_ref != nullptr)
            fix_cp2imf_after_cs(cg, s->cp_ref, start);
        empty_slot(s);
    }
}

void flush_buff(codegen_context* cg)
{
    cs_window* cs = cg->cs;
    for (int r = 0; r < cs->pending; r++)
        flush_stage(cg, abs_stage(cs, r));
    cs->pending = 0;
    cs->ring_start = 0;
}

u1* cs_bb_finalize(codegen_context* cg)
{
    flush_buff(cg);
    return cg->cs->output;
}

// Opens a stage after the newest; returns its relative number.  With the
// ring full the oldest stage is written out first, which renumbers every
// pending stage one lower (*shifted is incremented for the caller).
static int open_stage(codegen_context* cg, int* shifted)
{
    cs_window* cs = cg->cs;
    if (cs->pending < CS_STAGES) {
        empty_stage(cs, abs_stage(cs, cs->pending));
        cs->pending++;
        return cs->pending - 1;
    }
    flush_stage(cg, cs->ring_start);
    empty_stage(cs, cs->ring_start);
    cs->ring_start = (cs->ring_start + 1) % CS_STAGES;
    if (shifted)
        (*shifted)++;
    return CS_STAGES - 1;
}

// ---------------------------------------------------------------------------
// Dependence and pairing tests
// ---------------------------------------------------------------------------

// Dependence of a new instruction n on a placed one p: 1 true (n reads what
// p writes), 2 anti (n writes what p reads or addresses with), 3 output.
int cs_depend(const cs_slot* n, const cs_slot* p)
{
    if (n->read & p->write)
        return 1;
    if ((p->read | p->addr) & n->write)
        return 2;
    if (n->write & p->write)
        return 3;
    return 0;
}

static int is_data_access(u4 attr)
{
    u4 kind = attr & CS_ATTR_MEM_KIND;
    return kind == 0x02 || kind == 0x04 || kind == 0x08;
}

// Two memory accesses in one issue group that hit the same cache bank: the
// displacements agree modulo 32 (remainder with the displacement's sign).
int cs_bank_conflict(const cs_slot* a, const cs_slot* b)
{
    if (a->attr == CS_ATTR_NO_MEMORY || b->attr == CS_ATTR_NO_MEMORY)
        return 0;
    if (!is_data_access(a->attr))
        return 0;
    return a->disp % 32 == b->disp % 32;
}

static int has_any(u4 attr, u4 bits) { return (attr & bits) != 0; }

// Whether a first instruction a and a second b may not issue together.
int cs_pair_refused(const cs_slot* a, const cs_slot* b)
{
    u4 x = a->attr, y = b->attr;
    const u4 pair_bits = CS_ATTR_PAIR_C | CS_ATTR_PAIR_A | CS_ATTR_PAIR_B;
    if (y == 0 || x == CS_ATTR_NO_MEMORY || y == CS_ATTR_NO_MEMORY)
        return 0;
    if ((has_any(x, CS_ATTR_SERIAL) && has_any(y, CS_ATTR_SERIAL)) ||
        (has_any(y, CS_ATTR_MEM_READ) && has_any(y, pair_bits)))
        return 1;
    if (has_any(y, CS_ATTR_SERIAL) && has_any(x, CS_ATTR_MEM_READ) && has_any(x, pair_bits))
        return 1;
    if (has_any(x, CS_ATTR_MEM_READ) && has_any(y, CS_ATTR_MEM_READ) && has_any(x, pair_bits) &&
        has_any(y, pair_bits))
        return 1;
    if (!has_any(x, CS_ATTR_MEM_READ) && !has_any(y, CS_ATTR_MEM_READ))
        return cs_bank_conflict(a, b);
    if ((x & CS_ATTR_MEM_KIND) != (y & CS_ATTR_MEM_KIND))
        return 0;
    if (is_data_access(x))
        return a->disp == b->disp;
    return 1;
}

static int is_class(u4 c, u4 a, u4 b) { return c == a || c == b; }

// Two-slot rules (processor classes other than 5): the slot (0 or 1) the new
// instruction n may take in a stage holding s0 and s1 (null when empty), or
// -1 when the stage refuses it.
int cs_two_slot_rule(const cs_slot* s0, const cs_slot* s1, const cs_slot* n)
{
    u4 c = n->cls;
    if (s0 != nullptr && s1 != nullptr)
        return -1;
    if (s0 == nullptr && s1 == nullptr) {
        if (c == 0 || c == 1 || c == 2 || c == 5)
            return 0;
        if (c == 3 || c == 4)
            return 1;
        return -1;
    }
    if (c == 0)
        return -1;
    if (s1 == nullptr) {
        if (is_class(s0->cls, 1, 2))
            return (c == 1 || c == 3) && !cs_bank_conflict(s0, n) ? 1 : -1;
        if (is_class(s0->cls, 4, 5))
            return c == 4 ? 1 : -1;
        return -1;
    }
    if (s1->cls == 3)
        return c == 1 || c == 2 ? 0 : -1;
    if (is_class(s1->cls, 4, 5))
        return c == 4 ? 0 : -1;
    return -1;
}

// ---------------------------------------------------------------------------
// Placement
// ---------------------------------------------------------------------------

static cs_slot* occupied(cs_slot* s) { return s->attr != 0 ? s : nullptr; }

static int three_slot_conflict(const cs_slot* n, const cs_slot* p)
{
    return cs_depend(n, p) != 0 || cs_pair_refused(n, p);
}

// A placement in one stage: the new instruction's slot and, for the
// three-slot rearrangements, the order the stage's slots take.
struct placement {
    int slot;            // where the new instruction goes (-1: refused)
    int order[CS_MAX_WIDTH];   // new position p holds old slot order[p] (-1: the new one)
};

// Tries stage `rel`; min_after is the slot of an instruction of this stage
// that the new one must follow (-1: none).
static placement try_stage(cs_window* cs, int w, int rel, const cs_slot* n, int min_after)
{
    cs_slot** st = cs->stage[abs_stage(cs, rel)];
    placement pl = {-1, {0, 1, 2}};
    if (w == 2) {
        int slot = cs_two_slot_rule(occupied(st[0]), occupied(st[1]), n);
        if (slot > min_after)
            pl.slot = slot;
        return pl;
    }
    cs_slot* s0 = occupied(st[0]);
    cs_slot* s1 = occupied(st[1]);
    cs_slot* s2 = occupied(st[2]);
    if ((n->cls >> 16) == 0) {
        // Issues alone: only into an empty stage.
        if (!s0 && !s1 && !s2)
            pl.slot = 0;
        return pl;
    }
    if (!s1) {
        // Slot 2 is never taken while slot 1 is free.
        if (min_after < 1)
            pl.slot = 1;
    } else if (!s2) {
        pl.slot = 2;
    } else if (!s0) {
        int c1 = three_slot_conflict(n, s1);
        int c2 = three_slot_conflict(n, s2);
        if (!c1 && !c2) {
            if (min_after < 0)
                pl.slot = 0;                                  // in front of both
        } else if (!c1) {
            // Between them, so in front of the slot-2 instruction: only
            // when that is a pairing conflict, not a dependence.
            if (min_after < 2 && cs_depend(n, s2) == 0) {
                pl.slot = 1;
                pl.order[0] = 1, pl.order[1] = -1, pl.order[2] = 2;
            }
        } else {
            pl.slot = 2;                                      // after both
            pl.order[0] = 1, pl.order[1] = 2, pl.order[2] = -1;
        }
    }
    return pl;
}

// Puts the scratch slot into stage rel per the placement; the slot it
// displaces (empty) becomes the new scratch.
static void place(cs_window* cs, int rel, const placement& pl)
{
    cs_slot** st = cs->stage[abs_stage(cs, rel)];
    cs_slot* n = cs->scratch;
    if (pl.order[0] == 0 && pl.order[1] == 1 && pl.order[2] == 2) {
        cs->scratch = st[pl.slot];
        st[pl.slot] = n;
        return;
    }
    // Three-slot rearrangement: slot 0 was empty and becomes the scratch.
    cs_slot* old[CS_MAX_WIDTH] = {st[0], st[1], st[2]};
    for (int p = 0; p < CS_MAX_WIDTH; p++)
        st[p] = pl.order[p] < 0 ? n : old[pl.order[p]];
    cs->scratch = old[0];
}

// Marks the instruction's writes busy in its stage and the latency - 1
// stages after it, opening stages as needed.
static void mark_busy(codegen_context* cg, int rel, const cs_slot* n)
{
    cs_window* cs = cg->cs;
    for (int i = 0; i < n->latency; i++) {
        while (rel + i >= cs->pending) {
            int shifted = 0;
            open_stage(cg, &shifted);
            rel -= shifted;   // a latency of at most 8 never writes out `rel` itself
        }
        cs->busy[abs_stage(cs, rel + i)] |= n->write;
    }
}

int insert_inst(codegen_context* cg)
{
    cs_window* cs = cg->cs;
    cs_slot* n = cs->scratch;
    int w = cs_stage_width();
    int length = (int)n->length;

    if (orva_processor_type == 5)
        n->latency = 0;
    else if (n->latency > 8)
        n->latency = 7;
    if (w == 2)
        n->cls &= 0xFFFF;
    if (cs->pending == 0)
        open_stage(cg, nullptr);
    int newest = cs->pending - 1;

    int chosen = -1;
    placement pl = {-1, {0, 1, 2}};

    if (n->attr & CS_ATTR_KEEP_ORDER) {
        // After everything pending: the newest stage, after its last occupied slot.
        cs_slot** st = cs->stage[abs_stage(cs, newest)];
        int last = -1;
        for (int k = 0; k < w; k++)
            if (st[k]->attr != 0)
                last = k;
        if (last + 1 < w) {
            chosen = newest;
            pl.slot = last + 1;
        }
    } else {
        // 1. Address dependences: two stages after the newest stage that
        //    writes, or still has in flight, a base or index register.
        int earliest = 0;
        int min_after = -1;
        if (n->addr != 0) {
            for (int r = newest; r >= 0; r--) {
                int a = abs_stage(cs, r);
                int hit = (cs->busy[a] & n->addr) != 0;
                for (int k = 0; k < w && !hit; k++)
                    hit = cs->stage[a][k]->attr != 0 && (cs->stage[a][k]->write & n->addr) != 0;
                if (hit) {
                    earliest = r + 2;
                    break;
                }
            }
        }
        // 2. The newest stage from there that conflicts decides: after it
        //    when its in-flight results meet the instruction, else after the
        //    last of its slots the instruction depends on (in either
        //    direction).
        for (int r = newest; r >= earliest; r--) {
            int a = abs_stage(cs, r);
            if (cs->busy[a] & (n->read | n->write)) {
                earliest = r + 1;
                break;
            }
            int k = w - 1;
            while (k >= 0 && !(cs->stage[a][k]->attr != 0 && cs_depend(n, cs->stage[a][k]) != 0))
                k--;
            if (k >= 0) {
                earliest = r;
                min_after = k;   // k the last slot: no room after it, the next stage
                break;
            }
        }
        // A bound beyond the newest stage opens empty stages up to it.
        while (earliest > cs->pending) {
            int shifted = 0;
            open_stage(cg, &shifted);
            earliest -= shifted;
        }
        // 3. The first stage from there whose slot rules accept it.
        for (int r = earliest; r < cs->pending; r++) {
            placement p = try_stage(cs, w, r, n, r == earliest ? min_after : -1);
            if (p.slot >= 0) {
                chosen = r;
                pl = p;
                break;
            }
        }
    }
    if (chosen < 0) {
        chosen = open_stage(cg, nullptr);
        pl = try_stage(cs, w, chosen, n, -1);
        if (pl.slot < 0)
            pl = placement{0, {0, 1, 2}};   // a class no rule pairs: alone in its stage
    }
    place(cs, chosen, pl);
    mark_busy(cg, chosen, cs->stage[abs_stage(cs, chosen)][pl.slot]);
    return length;
}
