/* Reference for DoubleArrays.java in C, for the "C -O2" column of run.sh:
 * the same matrix product and relaxation sweep, built with gcc -m32 -O2
 * -mfpmath=387 so that it computes on the x87 stack as our compiled code
 * does.  Under user-mode emulation every x87 instruction is emulated in
 * software, so this column bounds what any compiler can reach there.
 * Prints the same checksum line as the Java kernel. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static long long now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

static double** matrix(int n)
{
    double** m = malloc(n * sizeof *m);
    for (int i = 0; i < n; i++)
        m[i] = calloc(n, sizeof **m);
    return m;
}

static double matmul(int n, int reps)
{
    double **a = matrix(n), **b = matrix(n), **c = matrix(n);
    for (int i = 0; i < n; i++) {
        for (int j = 0; j < n; j++) {
            a[i][j] = (i * 7 + j * 3) % 11 - 5.0;
            b[i][j] = (i * 5 + j * 2) % 13 * 0.25;
        }
    }
    for (int r = 0; r < reps; r++) {
        for (int i = 0; i < n; i++) {
            double *ai = a[i], *ci = c[i];
            for (int j = 0; j < n; j++) ci[j] = 0.0;
            for (int k = 0; k < n; k++) {
                double aik = ai[k];
                double* bk = b[k];
                for (int j = 0; j < n; j++) ci[j] += aik * bk[j];
            }
        }
    }
    double s = 0;
    for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) s += c[i][j];
    return s;
}

static double relax(int n, int sweeps)
{
    double* g = calloc((size_t)n * n, sizeof *g);
    for (int i = 0; i < n; i++) g[i] = 100.0;
    for (int s = 0; s < sweeps; s++) {
        for (int y = 1; y < n - 1; y++) {
            for (int x = 1; x < n - 1; x++) {
                int p = y * n + x;
                g[p] = 0.25 * (g[p - 1] + g[p + 1] + g[p - n] + g[p + n]);
            }
        }
    }
    double sum = 0;
    for (int i = 0; i < n * n; i++) sum += g[i];
    return sum;
}

int main(int argc, char** argv)
{
    int scale = argc > 1 ? atoi(argv[1]) : 16;
    long long t0 = now_ns();
    double m = matmul(60, scale);
    double r = relax(64, 10 * scale);
    long long t1 = now_ns();
    printf("checksum %lld %lld\n", llround(m), llround(r * 1000));
    printf("time_ms %lld\n", (t1 - t0) / 1000000);
    return 0;
}
