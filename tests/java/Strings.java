// Strings: concatenation of every primitive type and null, StringBuilder and
// StringBuffer editing, the String methods at their boundaries (empty
// strings, out-of-range indexes), intern identity and switch on strings.
// The String class runs with its own bounds checks only, so every boundary
// here must raise cleanly.
public class Strings {
    static void p(String s) { System.out.println(s); }

    static void concat() {
        boolean z = true;
        byte b = -5;
        char c = 'x';
        short s = 12345;
        int i = -2147483648;
        long l = 9223372036854775807L;
        float f = 1.5f;
        double d = -0.25;
        Object o = null;
        String n = null;
        p("all: " + z + b + c + s + i + l + f + d + o + n);
        p(n + "|" + o + "|" + null);
        p("" + c + (char) (c + 1) + (c + 1));
        String acc = "";
        for (int k = 0; k < 5; k++) acc += k;
        p("loop " + acc);
        p("char arithmetic " + ('a' + 'b') + " " + (char) ('a' + 1) + 'b');
        char[] cs = {'h', 'i'};
        p("valueOf " + String.valueOf(cs) + " " + String.valueOf(true) + " " + String.valueOf('q') + " "
          + String.valueOf(42) + " " + String.valueOf(-42L) + " " + String.valueOf(o) + " " + String.valueOf(cs, 1, 1));
        p("concat " + "ab".concat("cd") + " " + "ab".concat("") + " " + "".concat("x"));
    }

    static void builders() {
        StringBuilder sb = new StringBuilder();
        sb.append("hello").append(' ').append(42).append(' ').append(-7L).append(' ').append(true)
          .append(' ').append(2.5).append(' ').append(0.5f).append(' ').append((Object) null).append(' ')
          .append((String) null).append(' ').append(new char[] {'c', 'h'});
        p(sb.toString() + " len " + sb.length());
        sb.setLength(5);
        p("setLength " + sb);
        sb.insert(0, "[").insert(sb.length(), ']').insert(1, 3).insert(2, false);
        p("insert " + sb);
        sb.delete(1, 7);
        p("delete " + sb);
        sb.deleteCharAt(0);
        p("deleteCharAt " + sb);
        sb.reverse();
        p("reverse " + sb);
        sb.setCharAt(0, 'X');
        p("setCharAt " + sb + " charAt(1) " + sb.charAt(1) + " indexOf(l) " + sb.indexOf("l"));
        sb.setLength(8);
        p("setLength grows with NUL: " + sb.length() + " last " + (int) sb.charAt(7));
        sb.setLength(0);
        p("empty '" + sb + "' " + sb.length());
        StringBuilder big = new StringBuilder(2);
        for (int i = 0; i < 100; i++) big.append((char) ('a' + i % 26));
        p("grown " + big.length() + " " + big.toString().substring(90));

        StringBuffer buf = new StringBuffer("buffer");
        buf.append(1).append('c').append(2L).insert(0, "S:").reverse().reverse();
        buf.delete(0, 2).deleteCharAt(buf.length() - 1);
        p("StringBuffer " + buf + " " + buf.length());
        String sBuf = new String(buf);
        String sBld = new String(new StringBuilder("from builder"));
        p("from buffers " + sBuf + " / " + sBld);

        try { sb.insert(5, "x"); p("no exception"); } catch (StringIndexOutOfBoundsException e) { p("insert past end: SIOOBE"); }
        try { new StringBuilder("abc").delete(2, 1); p("no exception"); } catch (StringIndexOutOfBoundsException e) { p("delete start>end: SIOOBE"); }
        try { new StringBuilder("abc").charAt(3); p("no exception"); } catch (IndexOutOfBoundsException e) { p("charAt(len): IOOBE"); }
        try { new StringBuilder("abc").setLength(-1); p("no exception"); } catch (IndexOutOfBoundsException e) { p("setLength(-1): IOOBE"); }
        try { new StringBuilder("abc").deleteCharAt(-1); p("no exception"); } catch (StringIndexOutOfBoundsException e) { p("deleteCharAt(-1): SIOOBE"); }
        p("delete end past length " + new StringBuilder("abcdef").delete(2, 100));
    }

    static void methods() {
        String s = "Hello, World";
        String e = "";
        p("length " + s.length() + " " + e.length() + " isEmpty " + e.isEmpty() + " " + s.isEmpty());
        p("charAt " + s.charAt(0) + s.charAt(11));
        p("equals " + s.equals("Hello, World") + " " + s.equals("hello, world") + " " + s.equals(null)
          + " " + e.equals("") + " " + s.equalsIgnoreCase("HELLO, world") + " " + "a".equals("ab"));
        p("hashCode " + s.hashCode() + " " + e.hashCode() + " " + "a".hashCode() + " " + "polygenelubricants".hashCode());
        p("compareTo " + "abc".compareTo("abd") + " " + "abc".compareTo("ab") + " " + "ab".compareTo("abc")
          + " " + "b".compareTo("a") + " " + "".compareTo("") + " " + "".compareTo("x") + " " + "A".compareTo("a"));
        p("indexOf " + s.indexOf('o') + " " + s.indexOf('o', 5) + " " + s.indexOf('z') + " " + s.indexOf("World")
          + " " + s.indexOf("") + " " + s.indexOf("", 20) + " " + e.indexOf("") + " " + s.indexOf('o', -5)
          + " " + s.indexOf("o", 100) + " " + s.indexOf("ld", 10));
        p("lastIndexOf " + s.lastIndexOf('o') + " " + s.lastIndexOf('o', 5) + " " + s.lastIndexOf("l") + " "
          + s.lastIndexOf("") + " " + s.lastIndexOf('H', -1) + " " + s.lastIndexOf("Hello", 0));
        p("substring " + s.substring(7) + "|" + s.substring(0, 5) + "|" + s.substring(12) + "|" + s.substring(3, 3) + "|"
          + s.substring(0).equals(s));
        String sub = s.substring(7, 10);
        p("substring of substring " + sub.substring(1) + " " + sub.length() + " " + sub.hashCode() + " " + sub.equals("Wor")
          + " " + sub.indexOf('r') + " " + sub.toUpperCase() + " " + sub.concat("!"));
        p("replace " + s.replace('l', 'L') + " " + s.replace('q', 'Q') + " startsWith " + s.startsWith("Hell")
          + " " + s.startsWith("World", 7) + " " + s.startsWith("") + " endsWith " + s.endsWith("rld") + " " + s.endsWith(""));
        p("trim '" + "  \t pad \n ".trim() + "' '" + "   ".trim() + "' '" + "x".trim() + "'");
        p("case " + "MiXeD 123".toUpperCase() + " " + "MiXeD 123".toLowerCase());
        p("latin1 upper " + (int) "\u00e9\u00ff".toUpperCase().charAt(0) + " lower " + (int) "\u00c9".toLowerCase().charAt(0));
        p("contains " + s.contains("lo, W") + " " + s.contains("xyz") + " " + s.contains(""));
        char[] arr = s.toCharArray();
        p("toCharArray " + arr.length + " " + arr[4]);
        char[] dst = new char[5];
        s.getChars(7, 12, dst, 0);
        p("getChars " + new String(dst));
        byte[] bytes = "AZaz09".getBytes();
        StringBuilder sb = new StringBuilder();
        for (byte x : bytes) sb.append(x).append(' ');
        p("getBytes " + sb);
        p("new String(bytes) " + new String(new byte[] {72, 105, 33}) + " range " + new String(new char[] {'a', 'b', 'c', 'd'}, 1, 2));
        p("toString identity " + (s.toString() == s));
    }

    static void failures() {
        String s = "abc";
        String[] names = {"charAt(-1)", "charAt(3)", "substring(4)", "substring(-1)", "substring(2,1)", "substring(0,4)",
                          "new String(chars,2,5)", "getChars past end", "indexOf(null)", "compareTo(null)", "concat(null)"};
        for (int i = 0; i < names.length; i++) {
            try {
                switch (i) {
                    case 0: s.charAt(-1); break;
                    case 1: s.charAt(3); break;
                    case 2: s.substring(4); break;
                    case 3: s.substring(-1); break;
                    case 4: s.substring(2, 1); break;
                    case 5: s.substring(0, 4); break;
                    case 6: new String(new char[] {'a', 'b', 'c'}, 2, 5); break;
                    case 7: s.getChars(1, 4, new char[5], 0); break;
                    case 8: s.indexOf((String) null); break;
                    case 9: s.compareTo(null); break;
                    case 10: s.concat(null); break;
                }
                p(names[i] + ": no exception");
            } catch (IndexOutOfBoundsException e) {
                // charAt and substring raise StringIndexOutOfBoundsException;
                // the constructor and getChars promise only the superclass.
                if (i > 5) p(names[i] + ": IndexOutOfBoundsException");
                else if (e instanceof StringIndexOutOfBoundsException) p(names[i] + ": StringIndexOutOfBoundsException");
                else p(names[i] + ": wrong class " + e.getClass().getName());
            } catch (NullPointerException e) {
                p(names[i] + ": NullPointerException");
            }
        }
        String n = null;
        try { n.length(); } catch (NullPointerException e) { p("null.length(): NullPointerException"); }
    }

    static final String CONST = "con" + "st";

    static void interning() {
        String a = "hello";
        String b = "hel" + "lo";
        String c = new String("hello");
        String part = "hel";
        String d = part + "lo";
        p("literal identity " + (a == b) + " new " + (a == c) + " runtime concat " + (a == d));
        p("intern " + (c.intern() == a) + " " + (d.intern() == a) + " " + (d.intern() == c.intern()));
        String fresh = new StringBuilder("zq").append("unique").toString();
        // No literal with this text exists anywhere, so the first intern call
        // answers the string itself, whenever the VM resolves literals.
        p("fresh intern " + (fresh.intern() == fresh) + " again "
          + (new String(new char[] {'z', 'q', 'u', 'n', 'i', 'q', 'u', 'e'}).intern() == fresh));
        p("constant " + (CONST == "const") + " " + (Other.NAME == "other-name"));
    }

    static class Other {
        static final String NAME = "other-name";
    }

    static int classify(String s) {
        switch (s) {
            case "alpha": return 1;
            case "beta": return 2;
            case "Aa": return 3;   // "Aa" and "BB" have the same hash code
            case "BB": return 4;
            case "": return 5;
            default: return 0;
        }
    }

    static void switches() {
        String[] keys = {"alpha", "beta", "Aa", "BB", "", "gamma", "ALPHA"};
        StringBuilder sb = new StringBuilder();
        for (String k : keys) sb.append(classify(k));
        p("switch " + sb + " Aa/BB hash " + "Aa".hashCode() + " " + "BB".hashCode());
        try {
            classify(null);
            p("no exception");
        } catch (NullPointerException e) {
            p("switch on null: NullPointerException");
        }
    }

    // A little string processing: a Caesar cipher and a word count.
    static void processing() {
        String text = "The quick brown fox jumps over the lazy dog";
        StringBuilder enc = new StringBuilder();
        for (int i = 0; i < text.length(); i++) {
            char ch = text.charAt(i);
            if (ch >= 'a' && ch <= 'z') ch = (char) ('a' + (ch - 'a' + 13) % 26);
            else if (ch >= 'A' && ch <= 'Z') ch = (char) ('A' + (ch - 'A' + 13) % 26);
            enc.append(ch);
        }
        p("rot13 " + enc);
        int words = 0, start = 0;
        while (start < text.length()) {
            int sp = text.indexOf(' ', start);
            if (sp < 0) sp = text.length();
            if (sp > start) words++;
            start = sp + 1;
        }
        p("words " + words);
    }

    public static void main(String[] args) {
        concat();
        builders();
        methods();
        failures();
        interning();
        switches();
        processing();
    }
}
