package java.util;

/**
 * printf-style formatting: %[index$][flags][width][.precision]conversion
 * with conversions b B h H s S c C d o x X e E f g G % n and flags
 * - # + space 0 , (.  Integral conversions take Byte, Short, Integer and
 * Long; floating ones Float and Double.  Floating values are rounded half
 * up from their shortest decimal form (Double.toString's digits), which is
 * what Java programs print.  Only the default (English) locale exists.
 */
public final class Formatter {
    private final StringBuilder out;

    public Formatter() {
        out = new StringBuilder();
    }

    public Formatter(StringBuilder sb) {
        out = sb == null ? new StringBuilder() : sb;
    }

    public Formatter format(Locale l, String format, Object... args) {
        return format(format, args);
    }

    public Formatter format(String format, Object... args) {
        format(out, format, args);
        return this;
    }

    public String toString() {
        return out.toString();
    }

    public void flush() {}

    public void close() {}

    /** Formats into sb. */
    static void format(StringBuilder sb, String fmt, Object[] args) {
        int n = fmt.length();
        int ordinary = 0;
        int lastIndex = -1;
        int i = 0;
        while (i < n) {
            char ch = fmt.charAt(i);
            if (ch != '%') {
                sb.append(ch);
                i++;
                continue;
            }
            int start = i;
            i++;
            // argument index or width digits
            int argIndex = -1;
            int j = i;
            while (j < n && Character.isDigit(fmt.charAt(j))) {
                j++;
            }
            if (j < n && j > i && fmt.charAt(j) == '$') {
                argIndex = Integer.parseInt(fmt.substring(i, j));
                i = j + 1;
            }
            boolean leftAlign = false;
            boolean alternate = false;
            boolean plus = false;
            boolean space = false;
            boolean zeroPad = false;
            boolean group = false;
            boolean parens = false;
            boolean previous = false;
            for (; i < n; i++) {
                char f = fmt.charAt(i);
                if (f == '-') {
                    leftAlign = true;
                } else if (f == '#') {
                    alternate = true;
                } else if (f == '+') {
                    plus = true;
                } else if (f == ' ') {
                    space = true;
                } else if (f == '0') {
                    zeroPad = true;
                } else if (f == ',') {
                    group = true;
                } else if (f == '(') {
                    parens = true;
                } else if (f == '<') {
                    previous = true;
                } else {
                    break;
                }
            }
            int width = -1;
            j = i;
            while (j < n && Character.isDigit(fmt.charAt(j))) {
                j++;
            }
            if (j > i) {
                width = Integer.parseInt(fmt.substring(i, j));
                i = j;
            }
            int precision = -1;
            if (i < n && fmt.charAt(i) == '.') {
                j = i + 1;
                while (j < n && Character.isDigit(fmt.charAt(j))) {
                    j++;
                }
                if (j == i + 1) {
                    throw new UnknownFormatConversionException(".");
                }
                precision = Integer.parseInt(fmt.substring(i + 1, j));
                i = j;
            }
            if (i >= n) {
                throw new UnknownFormatConversionException("%");
            }
            char conv = fmt.charAt(i++);
            String spec = fmt.substring(start, i);
            if (conv == 'n') {
                sb.append('\n');
                continue;
            }
            if (conv == '%') {
                pad(sb, "%", width, leftAlign, false);
                continue;
            }
            Object arg;
            if (previous) {
                if (lastIndex < 0 || lastIndex >= args.length) {
                    throw new MissingFormatArgumentException(spec);
                }
                arg = args[lastIndex];
            } else if (argIndex > 0) {
                if (args == null || argIndex - 1 >= args.length) {
                    throw new MissingFormatArgumentException(spec);
                }
                lastIndex = argIndex - 1;
                arg = args[lastIndex];
            } else {
                if (args == null || ordinary >= args.length) {
                    throw new MissingFormatArgumentException(spec);
                }
                lastIndex = ordinary;
                arg = args[ordinary++];
            }
            boolean upper = Character.isUpperCase(conv);
            String s;
            switch (Character.toLowerCase(conv)) {
                case 'b':
                    s = String.valueOf(arg == null ? false : (arg instanceof Boolean ? ((Boolean) arg).booleanValue() : true));
                    s = truncate(s, precision);
                    break;
                case 'h':
                    s = arg == null ? "null" : Integer.toHexString(arg.hashCode());
                    s = truncate(s, precision);
                    break;
                case 's':
                    s = truncate(String.valueOf(arg), precision);
                    break;
                case 'c':
                    if (arg == null) {
                        s = "null";
                    } else if (arg instanceof Character) {
                        s = String.valueOf(((Character) arg).charValue());
                    } else if (arg instanceof Integer || arg instanceof Short || arg instanceof Byte) {
                        s = new String(Character.toChars(((Number) arg).intValue()));
                    } else {
                        throw new IllegalFormatConversionException(conv, arg.getClass());
                    }
                    break;
                case 'd':
                case 'o':
                case 'x':
                    if (arg == null) {
                        s = "null";
                        break;
                    }
                    s = integral(conv, arg, alternate, plus, space, zeroPad, group, parens, width);
                    break;
                case 'e':
                case 'f':
                case 'g':
                    if (arg == null) {
                        s = "null";
                        break;
                    }
                    if (!(arg instanceof Double || arg instanceof Float)) {
                        throw new IllegalFormatConversionException(conv, arg.getClass());
                    }
                    s = floating(Character.toLowerCase(conv), ((Number) arg).doubleValue(), precision,
                                 plus, space, zeroPad, group, parens, width);
                    break;
                default:
                    throw new UnknownFormatConversionException(String.valueOf(conv));
            }
            if (upper) {
                s = s.toUpperCase();
            }
            pad(sb, s, width, leftAlign, false);
        }
    }

    private static String truncate(String s, int precision) {
        return (precision >= 0 && precision < s.length()) ? s.substring(0, precision) : s;
    }

    private static void pad(StringBuilder sb, String s, int width, boolean left, boolean unused) {
        int fill = width - s.length();
        if (!left) {
            for (int k = 0; k < fill; k++) {
                sb.append(' ');
            }
        }
        sb.append(s);
        if (left) {
            for (int k = 0; k < fill; k++) {
                sb.append(' ');
            }
        }
    }

    private static String integral(char conv, Object arg, boolean alternate, boolean plus, boolean space,
                                   boolean zeroPad, boolean group, boolean parens, int width) {
        long v;
        int bits;
        if (arg instanceof Integer) {
            v = ((Integer) arg).intValue();
            bits = 32;
        } else if (arg instanceof Long) {
            v = ((Long) arg).longValue();
            bits = 64;
        } else if (arg instanceof Short) {
            v = ((Short) arg).shortValue();
            bits = 16;
        } else if (arg instanceof Byte) {
            v = ((Byte) arg).byteValue();
            bits = 8;
        } else {
            throw new IllegalFormatConversionException(conv, arg.getClass());
        }
        if (conv == 'd') {
            boolean neg = v < 0;
            String digits = neg ? Long.toString(v).substring(1) : Long.toString(v);
            if (group) {
                digits = groupDigits(digits);
            }
            return signed(digits, neg, plus, space, zeroPad, parens, width);
        }
        long u = bits == 64 ? v : (v & ((1L << bits) - 1));
        String digits = conv == 'o' ? Long.toOctalString(u) : Long.toHexString(u);
        String prefix = alternate ? (conv == 'o' ? "0" : "0x") : "";
        StringBuilder sb = new StringBuilder(prefix);
        if (zeroPad) {
            for (int k = prefix.length() + digits.length(); k < width; k++) {
                sb.append('0');
            }
        }
        return sb.append(digits).toString();
    }

    private static String groupDigits(String digits) {
        int dot = digits.indexOf('.');
        int intEnd = dot < 0 ? digits.length() : dot;
        StringBuilder sb = new StringBuilder();
        for (int k = 0; k < intEnd; k++) {
            if (k > 0 && (intEnd - k) % 3 == 0) {
                sb.append(',');
            }
            sb.append(digits.charAt(k));
        }
        sb.append(digits, intEnd, digits.length());
        return sb.toString();
    }

    /** Adds the sign (or parentheses) and zero padding to an unsigned magnitude. */
    private static String signed(String magnitude, boolean neg, boolean plus, boolean space, boolean zeroPad,
                                 boolean parens, int width) {
        String pre = neg ? (parens ? "(" : "-") : (plus ? "+" : (space ? " " : ""));
        String post = (neg && parens) ? ")" : "";
        StringBuilder sb = new StringBuilder(pre);
        if (zeroPad) {
            for (int k = pre.length() + magnitude.length() + post.length(); k < width; k++) {
                sb.append('0');
            }
        }
        return sb.append(magnitude).append(post).toString();
    }

    private static String floating(char conv, double v, int precision, boolean plus, boolean space,
                                   boolean zeroPad, boolean group, boolean parens, int width) {
        if (v != v) {
            return "NaN";
        }
        boolean neg = v < 0 || (v == 0 && 1 / v < 0);
        if (Double.isInfinite(v)) {
            return neg ? (parens ? "(Infinity)" : "-Infinity") : (plus ? "+Infinity" : (space ? " Infinity" : "Infinity"));
        }
        if (precision < 0) {
            precision = 6;
        }
        Decimal d = new Decimal(Math.abs(v));
        String magnitude;
        if (conv == 'f') {
            magnitude = d.fixed(precision);
            if (group) {
                magnitude = groupDigits(magnitude);
            }
        } else if (conv == 'e') {
            magnitude = d.scientific(precision);
        } else {
            if (precision == 0) {
                precision = 1;
            }
            double a = Math.abs(v);
            Decimal r = new Decimal(a);
            r.roundSignificant(precision);
            if (a != 0 && (r.exponent < -4 || r.exponent >= precision)) {
                magnitude = d.scientific(precision - 1);
            } else {
                magnitude = d.fixed(Math.max(0, precision - 1 - (a == 0 ? 0 : r.exponent)));
                if (group) {
                    magnitude = groupDigits(magnitude);
                }
            }
        }
        return signed(magnitude, neg, plus, space, zeroPad, parens, width);
    }

    /** Decimal digits of a non-negative double: value = 0.d1d2d3... x 10^(exponent+1). */
    private static final class Decimal {
        char[] digits;
        int count;
        int exponent;        // power of ten of the first digit

        Decimal(double v) {
            String s = Double.toString(v);
            int e = s.indexOf('E');
            int exp10 = 0;
            String mant = s;
            if (e >= 0) {
                exp10 = Integer.parseInt(s.substring(e + 1));
                mant = s.substring(0, e);
            }
            int dot = mant.indexOf('.');
            String intPart = mant.substring(0, dot);
            String frac = mant.substring(dot + 1);
            String all = intPart + frac;
            int pointPos = intPart.length() + exp10;  // digits before the decimal point
            int lead = 0;
            while (lead < all.length() - 1 && all.charAt(lead) == '0') {
                lead++;
            }
            all = all.substring(lead);
            pointPos -= lead;
            int end = all.length();
            while (end > 1 && all.charAt(end - 1) == '0') {
                end--;
            }
            all = all.substring(0, end);
            digits = all.toCharArray();
            count = digits.length;
            if (count == 1 && digits[0] == '0') {
                exponent = 0;
            } else {
                exponent = pointPos - 1;
            }
        }

        boolean isZero() {
            return count == 1 && digits[0] == '0';
        }

        /** Keeps n significant digits, rounding half up (n >= 1). */
        void roundSignificant(int n) {
            if (isZero() || count <= n) {
                return;
            }
            boolean up = digits[n] >= '5';
            count = n;
            if (up) {
                int k = n - 1;
                while (k >= 0) {
                    if (digits[k] == '9') {
                        digits[k] = '0';
                        k--;
                    } else {
                        digits[k]++;
                        break;
                    }
                }
                if (k < 0) {
                    char[] nd = new char[n + 1];
                    nd[0] = '1';
                    System.arraycopy(digits, 0, nd, 1, n);
                    digits = nd;
                    count = n;          // drop the extra trailing zero
                    exponent++;
                }
            }
            while (count > 1 && digits[count - 1] == '0') {
                count--;
            }
        }

        String fixed(int precision) {
            if (!isZero()) {
                int keep = exponent + 1 + precision;    // significant digits kept
                if (keep <= 0) {
                    boolean up = keep == 0 && digits[0] >= '5';
                    StringBuilder sb = new StringBuilder("0");
                    if (precision > 0) {
                        sb.append('.');
                        for (int k = 0; k < precision - 1; k++) {
                            sb.append('0');
                        }
                        sb.append(up ? '1' : '0');
                    } else if (up) {
                        return "1";
                    }
                    return sb.toString();
                }
                roundSignificant(keep);
            }
            StringBuilder sb = new StringBuilder();
            int intDigits = isZero() ? 1 : exponent + 1;
            if (intDigits <= 0) {
                sb.append('0');
            } else {
                for (int k = 0; k < intDigits; k++) {
                    sb.append(k < count && !isZero() ? digits[k] : '0');
                }
            }
            if (precision > 0) {
                sb.append('.');
                for (int k = 0; k < precision; k++) {
                    int idx = intDigits + k;      // index into digits (may be negative)
                    char c = '0';
                    if (!isZero() && idx >= 0 && idx < count) {
                        c = digits[idx];
                    }
                    sb.append(c);
                }
            }
            return sb.toString();
        }

        String scientific(int precision) {
            StringBuilder sb = new StringBuilder();
            int exp = 0;
            if (!isZero()) {
                roundSignificant(precision + 1);
                exp = exponent;
            }
            sb.append(isZero() ? '0' : digits[0]);
            if (precision > 0) {
                sb.append('.');
                for (int k = 1; k <= precision; k++) {
                    sb.append(k < count && !isZero() ? digits[k] : '0');
                }
            }
            sb.append('e').append(exp < 0 ? '-' : '+');
            int ae = Math.abs(exp);
            if (ae < 10) {
                sb.append('0');
            }
            sb.append(ae);
            return sb.toString();
        }
    }
}
