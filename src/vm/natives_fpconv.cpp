// natives_fpconv.cpp - text conversions of float and double for the class
// library's Double/Float natives.  Pure functions: no EE, no heap.
//
// Formatting (Double.toString, Float.toString).  The digits are the shortest
// decimal that reads back to the same value; when several decimals of that
// length read back, the one closest to the value (ties: even last digit);
// when a single digit suffices, a closer two-digit decimal is preferred
// (Float.MIN_VALUE is "1.4E-45", not "1.0E-45").  Candidates come from the C
// library's correctly rounded printf ("%.*e" of the exact value) and are
// checked with its correctly rounded strtod/strtof:
//   - The closest n-digit decimal c is the candidate of length n.  The
//     rounding interval R of a value is symmetric except at a power of two,
//     where the lower half is narrower; so if c does not read back, the
//     n-digit neighbour on the other side of the value may, and is tried.
//   - A normal double's R is at most 2^-52 x value wide, narrower than the
//     gap between two 15-digit decimals, so at most one decimal of 15 or
//     fewer digits lies in R: if the 15-digit candidate reads back, its
//     digits without trailing zeros are the answer.  Otherwise 16, then 17
//     digits (17 always reads back).  Floats: 6, then 7, 8, 9.
//   - Subnormals have less precision; their search starts at one digit.
// Layout: "NaN", "Infinity", "-Infinity", "0.0", "-0.0"; plain notation with
// at least one fractional digit for 10^-3 <= |x| < 10^7 (decided on the
// chosen decimal), else d.ddd "E" exponent, with at least one fractional
// digit ("1.0E10").
//
// Parsing (Double.parseDouble, Float.parseFloat).  The text is trimmed of
// characters <= ' ' as String.trim does, checked against the Java grammar
// (optional sign; "NaN"; "Infinity"; decimal digits with an optional point
// and an optional exponent; hexadecimal "0x" digits with a binary "p"
// exponent; an optional f, F, d or D suffix after a number), and converted
// with strtod (double) or strtof (float: rounded once, directly to float).

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vm.h"

namespace {

constexpr int kMaxDigits = 17;

// Decimal d[0].d[1]...d[n-1] x 10^exp.
struct fp_decimal {
    char d[kMaxDigits + 2];
    int n;
    int exp;
};

// The n-digit decimal closest to v (> 0, finite), ties to even, as printf
// rounds the exact binary value.
void closest_decimal(double v, int n, fp_decimal* out)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%.*e", n - 1, v);
    int k = 0;
    const char* p = buf;
    for (; *p && *p != 'e'; p++)
        if (*p >= '0' && *p <= '9')
            out->d[k++] = *p;
    out->n = k;
    out->exp = (*p == 'e') ? atoi(p + 1) : 0;
}

// The next n-digit decimal above (dir = +1) or below (dir = -1).  Across a
// decade the unit changes: below 1.000e5 comes 9.999e4, above 9.999e4 comes
// 1.000e5.
void step_decimal(const fp_decimal* in, int dir, fp_decimal* out)
{
    *out = *in;
    int i = out->n - 1;
    if (dir > 0) {
        while (i >= 0 && out->d[i] == '9')
            out->d[i--] = '0';
        if (i < 0) {
            out->d[0] = '1';
            out->exp++;
        } else {
            out->d[i]++;
        }
    } else {
        while (i >= 0 && out->d[i] == '0')
            out->d[i--] = '9';
        if (i >= 0)             // always: d[0] is never '0'
            out->d[i]--;
        if (out->d[0] == '0') {
            for (int j = 0; j < out->n; j++)
                out->d[j] = '9';
            out->exp--;
        }
    }
}

void decimal_text(const fp_decimal* dec, char* buf, size_t len)
{
    char digits[kMaxDigits + 2];
    memcpy(digits, dec->d, dec->n);
    digits[dec->n] = 0;
    snprintf(buf, len, "%c.%se%d", digits[0], digits + 1, dec->exp);
}

bool reads_back(const fp_decimal* dec, double v, bool is_float)
{
    char buf[64];
    decimal_text(dec, buf, sizeof buf);
    if (is_float)
        return strtof(buf, nullptr) == static_cast<float>(v);
    return strtod(buf, nullptr) == v;
}

// Shortest-digit search described at the top of the file; v > 0, finite.
void shortest_decimal(double v, bool is_float, fp_decimal* out)
{
    bool subnormal = is_float ? static_cast<float>(v) < 1.17549435e-38f
                              : v < 2.2250738585072014e-308;
    int first = subnormal ? 1 : (is_float ? 6 : 15);
    int last = is_float ? 9 : kMaxDigits;
    int n = first;
    for (;; n++) {
        fp_decimal c;
        closest_decimal(v, n, &c);
        if (n == last || reads_back(&c, v, is_float)) {
            *out = c;
            break;
        }
        fp_decimal lower, upper;
        step_decimal(&c, -1, &lower);
        step_decimal(&c, +1, &upper);
        if (reads_back(&lower, v, is_float)) {
            *out = lower;
            break;
        }
        if (reads_back(&upper, v, is_float)) {
            *out = upper;
            break;
        }
    }
    if (n == 1) {
        // One digit reads back: the two-digit decimal closest to v is at
        // least as close; prefer it when it reads back too.
        fp_decimal c2;
        closest_decimal(v, 2, &c2);
        if (reads_back(&c2, v, is_float))
            *out = c2;
    }
    while (out->n > 1 && out->d[out->n - 1] == '0')
        out->n--;
}

int format_fp(double v, bool is_float, char* buf)
{
    char* p = buf;
    if (v != v)
        return static_cast<int>(stpcpy(buf, "NaN") - buf);
    if (std::signbit(v)) {
        *p++ = '-';
        v = -v;
    }
    if (v == __builtin_inf()) {
        p = stpcpy(p, "Infinity");
        return static_cast<int>(p - buf);
    }
    if (v == 0) {
        p = stpcpy(p, "0.0");
        return static_cast<int>(p - buf);
    }
    fp_decimal dec;
    shortest_decimal(v, is_float, &dec);
    if (dec.exp >= -3 && dec.exp < 7) {
        if (dec.exp < 0) {
            *p++ = '0';
            *p++ = '.';
            for (int i = -1; i > dec.exp; i--)
                *p++ = '0';
            memcpy(p, dec.d, dec.n);
            p += dec.n;
        } else {
            int int_digits = dec.exp + 1;
            for (int i = 0; i < int_digits; i++)
                *p++ = i < dec.n ? dec.d[i] : '0';
            *p++ = '.';
            if (dec.n > int_digits) {
                memcpy(p, dec.d + int_digits, dec.n - int_digits);
                p += dec.n - int_digits;
            } else {
                *p++ = '0';
            }
        }
    } else {
        *p++ = dec.d[0];
        *p++ = '.';
        if (dec.n > 1) {
            memcpy(p, dec.d + 1, dec.n - 1);
            p += dec.n - 1;
        } else {
            *p++ = '0';
        }
        p += sprintf(p, "E%d", dec.exp);
    }
    *p = 0;
    return static_cast<int>(p - buf);
}

// ---------------------------------------------------------------------------
// Parsing
// ---------------------------------------------------------------------------

inline bool is_digit(u2 c) { return c >= '0' && c <= '9'; }
inline bool is_hex_digit(u2 c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
inline bool is_suffix(u2 c) { return c == 'f' || c == 'F' || c == 'd' || c == 'D'; }

bool matches(const u2* s, s4 n, const char* word)
{
    s4 k = static_cast<s4>(strlen(word));
    if (n != k)
        return false;
    for (s4 i = 0; i < k; i++)
        if (s[i] != static_cast<u1>(word[i]))
            return false;
    return true;
}

// Checks the Java grammar on the trimmed text s[0..n) and copies the part
// strtod should read (without a suffix) into buf as ASCII.  Returns
// FP_PARSE_OK, or FP_PARSE_BAD / FP_PARSE_MULTIPLE_POINTS when the text is
// not a Java floating-point literal (a second point among the leading
// decimal digits has a message of its own).
int java_fp_syntax(const u2* s, s4 n, char* buf, size_t cap)
{
    s4 i = 0;
    size_t k = 0;
    if (static_cast<size_t>(n) + 1 > cap)
        return FP_PARSE_BAD;
    if (i < n && (s[i] == '+' || s[i] == '-'))
        buf[k++] = static_cast<char>(s[i++]);
    if (i < n && (s[i] == 'N' || s[i] == 'I')) {
        if (!matches(s + i, n - i, "NaN") && !matches(s + i, n - i, "Infinity"))
            return FP_PARSE_BAD;
        for (; i < n; i++)
            buf[k++] = static_cast<char>(s[i]);
        buf[k] = 0;
        return FP_PARSE_OK;
    }
    bool hex = i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X');
    int digits = 0;
    bool point = false;
    if (hex) {
        buf[k++] = '0';
        buf[k++] = 'x';
        i += 2;
    }
    for (; i < n; i++) {
        u2 c = s[i];
        if (hex ? is_hex_digit(c) : is_digit(c)) {
            digits++;
        } else if (c == '.') {
            if (point && !hex)
                return FP_PARSE_MULTIPLE_POINTS;    // Java's own message
            if (point)
                return FP_PARSE_BAD;
            point = true;
        } else {
            break;
        }
        buf[k++] = static_cast<char>(c);
    }
    if (digits == 0)
        return FP_PARSE_BAD;
    bool has_exp = i < n && (hex ? (s[i] == 'p' || s[i] == 'P') : (s[i] == 'e' || s[i] == 'E'));
    if (hex && !has_exp)
        return FP_PARSE_BAD;               // a hexadecimal literal needs its binary exponent
    if (has_exp) {
        buf[k++] = static_cast<char>(s[i++]);
        if (i < n && (s[i] == '+' || s[i] == '-'))
            buf[k++] = static_cast<char>(s[i++]);
        int exp_digits = 0;
        for (; i < n && is_digit(s[i]); i++, exp_digits++)
            buf[k++] = static_cast<char>(s[i]);
        if (exp_digits == 0)
            return FP_PARSE_BAD;
    }
    if (i < n && is_suffix(s[i]))
        i++;
    if (i != n)
        return FP_PARSE_BAD;
    buf[k] = 0;
    return FP_PARSE_OK;
}

int parse_fp(const u2* chars, s4 n, bool is_float, double* out, s4* trim_start, s4* trim_end)
{
    s4 b = 0, e = n;
    while (b < e && chars[b] <= ' ')
        b++;
    while (e > b && chars[e - 1] <= ' ')
        e--;
    if (trim_start)
        *trim_start = b;
    if (trim_end)
        *trim_end = e;
    if (b == e)
        return FP_PARSE_EMPTY;
    char small[128];
    char* buf = small;
    size_t cap = sizeof small;
    if (static_cast<size_t>(e - b) + 1 > cap) {
        cap = static_cast<size_t>(e - b) + 1;
        buf = static_cast<char*>(malloc(cap));
        if (!buf)
            return FP_PARSE_BAD;
    }
    int rc = java_fp_syntax(chars + b, e - b, buf, cap);
    if (rc == FP_PARSE_OK) {
        // strtod reads "NaN" and "Infinity" too; a sign before NaN is accepted
        // and dropped, as Java does.
        if (is_float)
            *out = strtof(buf, nullptr);
        else
            *out = strtod(buf, nullptr);
        if (*out != *out)
            *out = __builtin_nan("");   // "-NaN" gives the canonical NaN
    }
    if (buf != small)
        free(buf);
    return rc;
}

}  // namespace

int vm_double_to_string(double d, char* buf)
{
    return format_fp(d, false, buf);
}

int vm_float_to_string(float f, char* buf)
{
    return format_fp(static_cast<double>(f), true, buf);
}

int vm_parse_double(const u2* chars, s4 n, double* out, s4* trim_start, s4* trim_end)
{
    return parse_fp(chars, n, false, out, trim_start, trim_end);
}

int vm_parse_float(const u2* chars, s4 n, float* out, s4* trim_start, s4* trim_end)
{
    double d = 0;
    int rc = parse_fp(chars, n, true, &d, trim_start, trim_end);
    *out = static_cast<float>(d);     // exact: d already holds a float value
    return rc;
}
