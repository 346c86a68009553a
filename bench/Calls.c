/* Reference for Calls.java in C, for the "C -O2" column of run.sh: the
 * same loop with the calls a Java VM must make kept as calls (noinline):
 * a virtual call through a per-class table, an interface-style call
 * through a table of the receiver, and the recursive fib.  Prints the
 * same checksum line as the Java kernel. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#define NOINLINE __attribute__((noinline))

static long long now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

typedef struct shape shape;
typedef struct {
    int (*area)(const shape*);
} shape_class;
struct shape {
    const shape_class* cls;
    int a, b;
};

NOINLINE static int sq_area(const shape* s) { return s->a * s->a; }
NOINLINE static int rect_area(const shape* s) { return s->a * s->b; }
NOINLINE static int tri_area(const shape* s) { return s->a * s->b / 2; }
static const shape_class sq_class = {sq_area}, rect_class = {rect_area}, tri_class = {tri_area};

NOINLINE static int scaled(const shape* s, int k) { return s->cls->area(s) * k; }

typedef struct step step;
typedef struct {
    int (*next)(step*, int);
} counter_table;
struct step {
    const counter_table* itable;
    int calls;
};

NOINLINE static int step_next(step* s, int x)
{
    s->calls++;
    return x + 3;
}
static const counter_table step_table = {step_next};

NOINLINE static int fib(int n) { return n < 2 ? n : fib(n - 1) + fib(n - 2); }

NOINLINE static long long run(int n)
{
    shape sq = {&sq_class, 3, 0}, rect = {&rect_class, 2, 5}, tri = {&tri_class, 4, 6};
    const shape* shapes[3] = {&sq, &rect, &tri};
    step st = {&step_table, 0};
    step* volatile c = &st;   /* the call stays indirect */
    long long acc = 0;
    for (int i = 0; i < n; i++) {
        const shape* s = shapes[i % 3];
        acc += scaled(s, i & 7);
        acc = c->itable->next(c, (int)acc) & 0xFFFFFFF;
    }
    return acc + fib(22) + st.calls;
}

int main(int argc, char** argv)
{
    int n = argc > 1 ? atoi(argv[1]) : 300000;
    long long t0 = now_ns();
    long long r = run(n);
    long long t1 = now_ns();
    printf("checksum %lld\n", r);
    printf("time_ms %lld\n", (t1 - t0) / 1000000);
    return 0;
}
