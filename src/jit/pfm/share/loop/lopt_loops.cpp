// Loop detection and the loop table: the stage `construct_loops` that the
// front end (and the inliner, after it rewrote the blocks) runs once the
// blocks and the DFS list exist.
//
// Requires: the block table with successor lists, a valid DFS list.
// Produces: the loop table (one `loop_table_record` per nest, one
// `loopattribute` per nesting level, from the first work pool), each loop
// block's level, table index and loop marks; conditional branches inverted
// towards the next block of the DFS order.  The working graph lives in the
// second work pool and dies with it at the end of the stage.
//
// Sketch.  One node per live block in DFS order, one link per edge (a mirror
// link on the target's predecessor list).  Edges between regions (the main
// flow, each handler, each subroutine) never make loops; within a region an
// edge to a block not later in DFS order is a back edge.  Headers are visited
// in reverse DFS order, so inner loops are built first; each natural loop is
// collected backwards from its latches through the representatives of loops
// already built, which become its children.  A predecessor earlier in DFS
// order than the header means a second entry: the graph is not reducible and
// the method gets no loops.  A top-level loop whose levels nest simply (one
// inner loop each, down to a leaf, no region crossing, no exit into a flush
// test) becomes one record of several levels; any other top-level loop
// becomes one collapsed record (flag 0x20) holding all its blocks.
//
// A nest whose blocks do not form one contiguous run of block numbers gets
// no record: every user of the table reads a level's blocks as the range from
// its lowest to its highest block, and a foreign block inside that range
// (a handler placed among the loop's blocks) would be treated as part of it.
#include <string.h>

#include "driver/driver.h"
#include "dataflow/dataflow.h"
#include "frontend/frontend.h"
#include "frontend/qgen.h"
#include "loop/loop.h"
#include "loop/lopt_scc.h"

namespace {

constexpr u4 BB2_NO_DUP_TARGET = BB2_TRANSFER_POINT;     // makes node flag 0x40

// Loop marks that this stage owns on a block (first flag word).
constexpr u4 LOOP_BLOCK_MARKS = BB_LOOP_MEMBER | BB_LOOP_INVALID | BB_LOOP_HEAD | BB_LOOP_EXITING | BB_LOOP_FIRST
                                | BB_LOOP_LAST | BB_LOOP_INNER_HEAD | BB_LOOP_INNER_EXIT | BB_LOOP_MARK
                                | BB_LOOP_INNERMOST_HEAD | BB_LOOP_INNERMOST_EXIT | BB_INNERMOST_LOOP
                                | BB_LOOP_HEADER;

// Flags that keep a loop from being one simple level of a nest.
constexpr u4 SCC_NOT_SIMPLE = SCC_LOOP_MANY_INNER | SCC_LOOP_METHOD | SCC_LOOP_CROSS_REGION | SCC_LOOP_FLUSH_EXIT
                              | SCC_LOOP_RESERVED;

template <typename T> T* scratch(method_compile_context* m, u4 count)
{
    auto* p = static_cast<T*>(jit_wmem_alloc(m->pool2, (count ? count : 1) * sizeof(T)));
    memset(p, 0, (count ? count : 1) * sizeof(T));
    return p;
}

template <typename T> T* lasting(method_compile_context* m, u4 count)
{
    auto* p = static_cast<T*>(jit_wmem_alloc(m->pool1, (count ? count : 1) * sizeof(T)));
    memset(p, 0, (count ? count : 1) * sizeof(T));
    return p;
}

scc_nodelist* push_node(method_compile_context* m, scc_nodelist* head, scc_node* n)
{
    auto* l = scratch<scc_nodelist>(m, 1);
    l->item = n;
    l->next = head;
    return l;
}

// Bubble sort of a loop's child list by decreasing DFS position of the headers.
void sort_children(scc_loop* parent)
{
    for (bool swapped = true; swapped;) {
        swapped = false;
        for (scc_loop** p = &parent->child; *p != nullptr && (*p)->sibling != nullptr; p = &(*p)->sibling) {
            scc_loop* a = *p;
            scc_loop* b = a->sibling;
            if (a->header->dfs_pos < b->header->dfs_pos) {
                a->sibling = b->sibling;
                b->sibling = a;
                *p = b;
                swapped = true;
            }
        }
    }
}

void link_edge(method_compile_context* m, scc_node* from, scc_node* to, u4 number)
{
    auto* s = scratch<scc_link>(m, 1);
    auto* p = scratch<scc_link>(m, 1);
    s->target = to;
    s->number = number;
    s->mirror = p;
    s->next = from->succs;
    from->succs = s;
    p->target = from;
    p->number = number;
    p->mirror = s;
    p->next = to->preds;
    to->preds = p;
}

void flag_link(scc_node* from, scc_link* l, u4 f)
{
    l->flags |= f;
    l->mirror->flags |= f;
    from->flags |= f;
}

} // namespace

scc_node* scc_representative(scc_node* n)
{
    while (n->rep != nullptr)
        n = n->rep;
    return n;
}

u4 init_node_and_link(method_compile_context* m, scc_graph* g)
{
    memset(g, 0, sizeof *g);
    g->m = m;
    u4 n = m->bb_count;
    g->by_block = scratch<scc_node*>(m, n);
    g->order = scratch<scc_node*>(m, m->dfs_count);
    s4 counter = 0;
    s4 region = 0;
    for (u4 i = 0; i < m->dfs_count; i++) {
        u4 b = m->dfs_array[i];
        if (b >= n)
            continue;
        bbattr* bb = m->bb_table[b];
        if ((bb->flags & BB_DEAD) || g->by_block[b] != nullptr)
            continue;
        // A new region at each handler and subroutine entry; from the
        // transfer entry of a transfer compile on (walked last), none.
        if (bb->flags & (BB_HANDLER | BB_SUBROUTINE))
            region = ++counter;
        if (bb->flags2 & BB2_EMPTY_ENTRY)
            region = -1;
        auto* node = scratch<scc_node>(m, 1);
        node->block = bb;
        node->id = b;
        node->dfs_pos = g->count;
        node->region = region;
        if (bb->flags2 & BB2_NO_DUP_TARGET)
            node->flags |= SCC_NODE_MARKED;
        g->by_block[b] = node;
        g->order[g->count++] = node;
    }
    u4 number = 0;
    for (u4 i = 0; i < g->count; i++) {
        scc_node* from = g->order[i];
        const bbattr* bb = from->block;
        if (from->id == n - 1)
            continue;           // the exit block's list holds its predecessors
        for (u4 k = 0; k < bb->succ_count; k++) {
            u4 s = bb_succ_block(bb->succ[k]);
            if (s >= n || g->by_block[s] == nullptr)
                continue;
            link_edge(m, from, g->by_block[s], number++);
        }
    }
    // Classification.
    u4 back = 0;
    scc_node* last = g->count > 0 ? g->order[g->count - 1] : nullptr;
    for (u4 i = 0; i < g->count; i++) {
        scc_node* from = g->order[i];
        for (scc_link* l = from->succs; l != nullptr; l = l->next) {
            scc_node* to = l->target;
            if (to == last)
                flag_link(from, l, SCC_LINK_TO_EXIT);
            if (!(from->block->flags2 & BB2_FLUSH_TEST) && (to->block->flags2 & BB2_FLUSH_TEST))
                flag_link(from, l, SCC_LINK_INTO_FLUSH);
            if (!(from->block->flags2 & BB2_RARE) && (to->block->flags2 & BB2_RARE))
                flag_link(from, l, SCC_LINK_INTO_RARE);
            if (from->region >= 0 && to->region >= 0 && from->region != to->region) {
                flag_link(from, l, SCC_LINK_CROSS_REGION);
            } else if (from->region < 0 || to->region < 0) {
                flag_link(from, l, SCC_LINK_OUTSIDE);
            } else if (to->dfs_pos <= from->dfs_pos) {
                flag_link(from, l, SCC_LINK_BACK);
                back++;
            }
        }
    }
    g->back_edges = back;
    return back;
}

scc_loop* detect_scc(method_compile_context* m, scc_graph* g)
{
    u4 entry_succs = m->bb_table[0]->succ_count;
    g->loop_capacity = g->back_edges + entry_succs + 1;
    g->loops = scratch<scc_loop>(m, g->loop_capacity);
    g->loop_base = entry_succs;
    g->next_number = entry_succs;
    scc_loop* root = &g->loops[0];
    root->flags = SCC_LOOP_METHOD;
    root->number = 0;
    auto* member = scratch<u4>(m, g->count);   // loop number of the collection in progress
    scc_nodelist* work = nullptr;

    for (u4 i = g->count - 1; i-- > 1;) {
        scc_node* h = g->order[i];
        bool latched = false;
        for (scc_link* l = h->preds; l != nullptr; l = l->next)
            if (l->flags & SCC_LINK_BACK)
                latched = true;
        if (!latched)
            continue;
        u4 number = g->next_number++;
        scc_loop* loop = &g->loops[number - g->loop_base + 1];
        loop->number = number;
        loop->header = h;
        loop->flags = SCC_LOOP_IS_LOOP;
        member[h->dfs_pos] = number;
        for (scc_link* l = h->preds; l != nullptr; l = l->next) {
            if (!(l->flags & SCC_LINK_BACK))
                continue;
            scc_node* r = scc_representative(l->target);
            if (r == h || member[r->dfs_pos] == number)
                continue;
            member[r->dfs_pos] = number;
            work = push_node(m, work, r);
        }
        scc_nodelist* collected = nullptr;
        while (work != nullptr) {
            scc_node* x = work->item;
            work = work->next;
            collected = push_node(m, collected, x);
            for (scc_link* l = x->preds; l != nullptr; l = l->next) {
                if (l->flags & SCC_LINK_BACK)
                    continue;
                if (l->flags & SCC_LINK_CROSS_REGION) {
                    loop->flags |= SCC_LOOP_CROSS_REGION;
                    continue;
                }
                if (l->flags & SCC_LINK_OUTSIDE)
                    continue;
                if (l->target->block->flags & BB_IN_TRY)
                    loop->flags |= SCC_LOOP_IN_TRY;
                scc_node* r = scc_representative(l->target);
                if (member[r->dfs_pos] == number)
                    continue;
                if (r->dfs_pos < h->dfs_pos)
                    return nullptr;        // a second entry: not reducible
                member[r->dfs_pos] = number;
                work = push_node(m, work, r);
            }
        }
        // Record the loop.
        if (h->block->flags & BB_IN_TRY)
            loop->flags |= SCC_LOOP_IN_TRY;
        if (h->flags & SCC_NODE_MARKED)
            loop->flags |= SCC_LOOP_MARKED;
        h->loop = number;
        h->flags |= SCC_NODE_IN_LOOP | SCC_NODE_HEADER;
        h->header_of = loop;
        for (scc_nodelist* c = collected; c != nullptr; c = c->next) {
            scc_node* x = c->item;
            if (x->header_of != nullptr && x != h) {
                scc_loop* inner = x->header_of;
                inner->parent = loop;
                inner->sibling = loop->child;
                if (loop->child != nullptr)
                    loop->flags |= SCC_LOOP_MANY_INNER;
                loop->child = inner;
                x->rep = h;
                if (inner->flags & SCC_LOOP_MARKED)
                    loop->flags |= SCC_LOOP_MARKED;
                continue;
            }
            x->loop = number;
            x->flags |= SCC_NODE_IN_LOOP;
            x->rep = h;
            if (x->flags & SCC_NODE_MARKED)
                loop->flags |= SCC_LOOP_MARKED;
            loop->body = push_node(m, loop->body, x);
            loop->body_count++;
        }
        if (loop->flags & SCC_LOOP_MARKED)
            h->flags |= SCC_NODE_MARKED_HEADER;
        sort_children(loop);
        h->flags |= SCC_NODE_DONE;
    }
    g->loop_count = g->next_number - g->loop_base;

    // Exits into a flush-tested block.
    for (u4 i = 0; i < g->count; i++) {
        scc_node* s = g->order[i];
        if (s->loop == 0)
            continue;
        for (scc_link* l = s->succs; l != nullptr; l = l->next) {
            scc_node* t = l->target;
            if ((t->loop == 0 || t->loop > s->loop) && (l->flags & SCC_LINK_INTO_FLUSH)) {
                scc_node* r = scc_representative(s);
                if (r->header_of != nullptr)
                    r->header_of->flags |= SCC_LOOP_FLUSH_EXIT;
            }
        }
    }

    // The tree: top-level loops under record 0, the ones headed by handler
    // blocks after the others.
    scc_loop* plain = nullptr;
    scc_loop* handler_side = nullptr;
    for (u4 k = 1; k <= g->loop_count; k++) {
        scc_loop* loop = &g->loops[k];
        if (loop->parent != nullptr)
            continue;
        loop->parent = root;
        if (loop->header->block->flags & (BB_HANDLER | BB_FROM_HANDLER)) {
            loop->sibling = handler_side;
            handler_side = loop;
        } else {
            loop->sibling = plain;
            plain = loop;
        }
    }
    scc_loop tmp = {};
    tmp.child = plain;
    sort_children(&tmp);
    plain = tmp.child;
    tmp.child = handler_side;
    sort_children(&tmp);
    handler_side = tmp.child;
    root->child = plain;
    scc_loop** tail = &root->child;
    while (*tail != nullptr)
        tail = &(*tail)->sibling;
    *tail = handler_side;
    return g->loops;
}

namespace {

// A top-level loop whose levels nest simply down to a leaf.
bool simple_chain(const scc_loop* loop)
{
    for (; loop != nullptr; loop = loop->child) {
        if (loop->flags & SCC_NOT_SIMPLE)
            return false;
        if (loop->child != nullptr && loop->child->sibling != nullptr)
            return false;
    }
    return true;
}

// One nest as it becomes a record: its levels from the innermost out.
struct nest {
    scc_loop* top;
    bool collapsed;
    u4 depth;
    scc_loop** levels;          // index 0 innermost
};

// Every node of a loop's subtree, header included.
void collect_nodes(method_compile_context* m, scc_loop* loop, scc_nodelist** out, u4* count)
{
    *out = push_node(m, *out, loop->header);
    (*count)++;
    for (scc_nodelist* b = loop->body; b != nullptr; b = b->next) {
        *out = push_node(m, *out, b->item);
        (*count)++;
    }
    for (scc_loop* c = loop->child; c != nullptr; c = c->sibling)
        collect_nodes(m, c, out, count);
}

struct level_build {
    scc_node** nodes;           // body blocks first, header last
    u4 count;
    u4 lowest, highest;
};

void build_level(method_compile_context* m, scc_loop* loop, level_build* lb)
{
    scc_nodelist* all = nullptr;
    u4 count = 0;
    collect_nodes(m, loop, &all, &count);
    lb->nodes = scratch<scc_node*>(m, count);
    lb->count = 0;
    lb->lowest = ~0u;
    lb->highest = 0;
    for (scc_nodelist* c = all; c != nullptr; c = c->next) {
        scc_node* x = c->item;
        if (x != loop->header)
            lb->nodes[lb->count++] = x;
        lb->lowest = x->id < lb->lowest ? x->id : lb->lowest;
        lb->highest = x->id > lb->highest ? x->id : lb->highest;
    }
    // Body in block order, header last.
    for (u4 i = 1; i < lb->count; i++)
        for (u4 j = i; j > 0 && lb->nodes[j - 1]->id > lb->nodes[j]->id; j--) {
            scc_node* t = lb->nodes[j];
            lb->nodes[j] = lb->nodes[j - 1];
            lb->nodes[j - 1] = t;
        }
    lb->nodes[lb->count++] = loop->header;
}

// The table index and level that a node belongs to while the records are
// filled: `in_nest` says whether node x lies within level k of the nest.
struct membership {
    s4* nest_of;                // by DFS position: nest index, -1 none
    s4* level_of;               // by DFS position: innermost level within its nest
};

bool in_level(const membership& ms, const scc_node* x, s4 nest_index, s4 k)
{
    return ms.nest_of[x->dfs_pos] == nest_index && ms.level_of[x->dfs_pos] <= k;
}

loop_link* append_link(method_compile_context* m, loop_link* head, u4 value)
{
    auto* l = lasting<loop_link>(m, 1);
    l->value = value;
    if (head == nullptr)
        return l;
    loop_link* t = head;
    while (t->next != nullptr)
        t = t->next;
    t->next = l;
    return head;
}

} // namespace

int construct_loop_structure(method_compile_context* m)
{
    for (u4 i = 0; i < m->bb_count; i++) {
        bbattr* b = m->bb_table[i];
        b->flags &= ~LOOP_BLOCK_MARKS;
        b->loop_depth = 0;
        b->loop_index = 0;
    }
    m->loop_count = 0;
    if (m->dfs_count < 3)
        return 1;
    auto* g = scratch<scc_graph>(m, 1);
    init_node_and_link(m, g);
    if (g->back_edges == 0 || detect_scc(m, g) == nullptr)
        return 1;

    // Nests: one per top-level loop.
    u4 top_count = 0;
    for (scc_loop* t = g->loops[0].child; t != nullptr; t = t->sibling)
        top_count++;
    auto* nests = scratch<nest>(m, top_count);
    membership ms;
    ms.nest_of = scratch<s4>(m, g->count);
    ms.level_of = scratch<s4>(m, g->count);
    for (u4 i = 0; i < g->count; i++)
        ms.nest_of[i] = -1;
    auto* builds = scratch<level_build*>(m, top_count);
    u4 kept = 0;
    for (scc_loop* t = g->loops[0].child; t != nullptr; t = t->sibling) {
        nest& ns = nests[kept];
        ns.top = t;
        ns.collapsed = !simple_chain(t);
        ns.depth = 1;
        if (!ns.collapsed)
            for (scc_loop* c = t->child; c != nullptr; c = c->child)
                ns.depth++;
        ns.levels = scratch<scc_loop*>(m, ns.depth);
        scc_loop* c = t;
        for (u4 k = ns.depth; k-- > 0; c = c->child)
            ns.levels[k] = c;
        builds[kept] = scratch<level_build>(m, ns.depth);
        bool contiguous = true;
        for (u4 k = 0; k < ns.depth; k++) {
            level_build& lb = builds[kept][k];
            build_level(m, ns.levels[k], &lb);
            if (lb.highest - lb.lowest + 1 != lb.count)
                contiguous = false;
        }
        if (!contiguous)
            continue;           // see the file comment
        for (u4 k = ns.depth; k-- > 0;) {
            level_build& lb = builds[kept][k];
            for (u4 j = 0; j < lb.count; j++) {
                ms.nest_of[lb.nodes[j]->dfs_pos] = static_cast<s4>(kept);
                ms.level_of[lb.nodes[j]->dfs_pos] = static_cast<s4>(k);
            }
        }
        kept++;
    }
    if (kept == 0)
        return 1;

    int moved = 0;
    table_expansion(m, 0, 0, kept, 0, 0, 0, &moved);
    for (u4 r = 0; r < kept; r++) {
        nest& ns = nests[r];
        loop_table_record* rec = mcc_loop(m, r);
        rec->id = r;
        rec->flags = 0;
        rec->depth = static_cast<int16_t>(ns.depth);
        if (ns.collapsed)
            rec->flags |= LOOP_INVALID;
        u4 lf = 0;
        for (u4 k = 0; k < ns.depth; k++)
            lf |= ns.levels[k]->flags;
        if (lf & SCC_LOOP_MARKED)
            rec->flags |= LOOP_HAS_MARKED;
        if (lf & SCC_LOOP_IN_TRY)
            rec->flags |= LOOP_IN_TRY_REGION;
        auto** attrs = lasting<loopattribute*>(m, ns.depth);
        for (u4 k = 0; k < ns.depth; k++) {
            level_build& lb = builds[r][k];
            scc_node* h = ns.levels[k]->header;
            auto* a = lasting<loopattribute>(m, 1);
            a->first_id = lb.lowest;
            a->last_id = lb.highest;
            a->entry_id = h->id;
            a->entry_successor = h->block;
            a->block_count = lb.count;
            a->capacity = lb.count;
            a->blocks = lasting<bbattr*>(m, lb.count);
            for (u4 j = 0; j < lb.count; j++)
                a->blocks[j] = lb.nodes[j]->block;
            a->level = static_cast<int16_t>(k);
            // Incoming blocks: every predecessor of the header; block 0 last.
            bool from_entry = false;
            for (scc_link* l = h->preds; l != nullptr; l = l->next) {
                if (l->target->id == 0) {
                    from_entry = true;
                    continue;
                }
                a->pre_entry = append_link(m, a->pre_entry, l->target->id);
            }
            if (from_entry || (m->bb_table[0]->succ_count > 0 && bb_succ_block(m->bb_table[0]->succ[0]) == h->id))
                a->pre_entry = append_link(m, a->pre_entry, 0);
            // Exits: one per edge that leaves the level.
            u4 exits = 0;
            for (u4 j = 0; j < lb.count; j++)
                for (scc_link* l = lb.nodes[j]->succs; l != nullptr; l = l->next)
                    if (!in_level(ms, l->target, static_cast<s4>(r), static_cast<s4>(k)))
                        exits++;
            a->exit_count = static_cast<int16_t>(exits);
            bool outermost = k + 1 == ns.depth;
            if (outermost && exits > 0) {
                a->exits = lasting<u4>(m, exits);
                u4 e = 0;
                for (u4 j = 0; j < lb.count; j++)
                    for (scc_link* l = lb.nodes[j]->succs; l != nullptr; l = l->next)
                        if (!in_level(ms, l->target, static_cast<s4>(r), static_cast<s4>(k)))
                            a->exits[e++] = lb.nodes[j]->id;
            }
            attrs[k] = a;
        }
        rec->body = attrs[ns.depth - 1];
        rec->levels = ns.collapsed ? nullptr : attrs;

        // Block marks, from the outermost level in so that each block ends
        // with its innermost level.
        for (u4 k = ns.depth; k-- > 0;) {
            loopattribute* a = attrs[k];
            bool innermost = k == 0;
            bool inner = k + 1 < ns.depth;
            bool outermost = !inner;
            level_build& lb = builds[r][k];
            for (u4 j = 0; j < lb.count; j++) {
                scc_node* x = lb.nodes[j];
                bbattr* b = x->block;
                b->flags |= BB_LOOP_MEMBER;
                b->loop_index = static_cast<int16_t>(r);
                b->loop_depth = static_cast<u2>(k);
                if (ns.collapsed)
                    b->flags |= BB_LOOP_INVALID;
                if (inner && !ns.collapsed)
                    b->flags |= BB_LOOP_MARK;
                if (innermost && !ns.collapsed)
                    b->flags |= BB_INNERMOST_LOOP;
                bool exiting = false;
                for (scc_link* l = x->succs; l != nullptr; l = l->next)
                    if (!in_level(ms, l->target, static_cast<s4>(r), static_cast<s4>(k)))
                        exiting = true;
                if (exiting) {
                    b->flags |= BB_LOOP_EXITING;
                    if (inner)
                        b->flags |= BB_LOOP_INNER_EXIT;
                    if (innermost)
                        b->flags |= BB_LOOP_INNERMOST_EXIT;
                }
            }
            bbattr* h = ns.levels[k]->header->block;
            h->flags |= BB_LOOP_HEAD | BB_LOOP_HEADER;
            if (inner)
                h->flags |= BB_LOOP_INNER_HEAD;
            if (innermost)
                h->flags |= BB_LOOP_INNERMOST_HEAD;
            if (outermost) {
                m->bb_table[a->first_id]->flags |= BB_LOOP_FIRST;
                m->bb_table[a->last_id]->flags |= BB_LOOP_LAST;
            }
        }
        // Short loops: a two-way exiting block loses the branch-direction
        // flag that disagrees with where its branch goes.
        loopattribute* main = rec->body;
        if (main->block_count - 1 < 5) {
            for (u4 j = 0; j < main->block_count; j++) {
                bbattr* b = main->blocks[j];
                if (b->succ_count != 2 || !(b->flags & BB_LOOP_EXITING))
                    continue;
                if (!(b->flags & BB_DFS_RULE) && !(b->flags2 & BB2_FORWARD_BRANCH))
                    continue;
                scc_node* t = g->by_block[bb_succ_block(b->succ[1])];
                bool other = t == nullptr || ms.nest_of[t->dfs_pos] != static_cast<s4>(r);
                if (other)
                    b->flags &= ~BB_DFS_RULE;
                else
                    b->flags2 &= ~BB2_FORWARD_BRANCH;
            }
        }
    }
    m->loop_count = kept;
    return 1;
}

int construct_loops(method_compile_context* m)
{
    if (compile_option3_flag & OPT3_NBBDFSSORT)
        return 0;
    if (bb_straightening_basedon_scc(m) != 0)
        return 1;
    reverse_cond_along_dfs(m);
    if (!(compile_option3_flag & OPT3_NLOOPINFO)) {
        construct_loop_structure(m);
        detect_loops_within_rare_path(m);
        generate_dfs_list_with_precise_ehandler(m);     // see lopt_layout.cpp
        reverse_cond_along_dfs(m);
        if (!(compile_option_flag & OPT1_NDUPLPCNTR) && m->loop_count >= 1)
            generate_precise_linfo(m);
    }
    jit_wmem_clear(m->pool2);
    return 0;
}
