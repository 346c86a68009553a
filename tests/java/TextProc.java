import java.util.Enumeration;
import java.util.Hashtable;
import java.util.Vector;

// String processing: a deterministic text is tokenised, words are counted
// in a Hashtable and ranked, then run-length coding, palindromes, a CSV
// line parser, title casing and column formatting.
public class TextProc {
    static final String[] VOCAB = {"the", "a", "java", "virtual", "machine", "runs", "code", "fast", "slow", "byte",
                                   "stack", "frame", "heap", "class", "loader", "method", "field", "level", "noon", "radar"};

    static String makeText(int words) {
        StringBuilder sb = new StringBuilder();
        int x = 12345;
        for (int i = 0; i < words; i++) {
            x = x * 1103515245 + 12345;
            int idx = (x >>> 16) % VOCAB.length;
            if (i > 0) sb.append((x & 0x300) == 0 ? ", " : " ");
            String w = VOCAB[idx];
            if ((x & 0x7000) == 0) w = Character.toUpperCase(w.charAt(0)) + w.substring(1);
            sb.append(w);
            if ((x & 0xF0000) == 0) sb.append('.');
        }
        return sb.toString();
    }

    static Vector<String> tokenize(String text) {
        Vector<String> out = new Vector<String>();
        int i = 0, n = text.length();
        while (i < n) {
            while (i < n && !Character.isLetter(text.charAt(i))) i++;
            int start = i;
            while (i < n && Character.isLetter(text.charAt(i))) i++;
            if (i > start) out.addElement(text.substring(start, i).toLowerCase());
        }
        return out;
    }

    static String rle(String s) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < s.length();) {
            int j = i;
            while (j < s.length() && s.charAt(j) == s.charAt(i)) j++;
            sb.append(j - i).append(s.charAt(i));
            i = j;
        }
        return sb.toString();
    }

    static String unrle(String s) {
        StringBuilder sb = new StringBuilder();
        int count = 0;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (Character.isDigit(c)) {
                count = count * 10 + (c - '0');
            } else {
                for (int k = 0; k < count; k++) sb.append(c);
                count = 0;
            }
        }
        return sb.toString();
    }

    static boolean palindrome(String s) {
        for (int i = 0, j = s.length() - 1; i < j; i++, j--) if (s.charAt(i) != s.charAt(j)) return false;
        return true;
    }

    static Vector<String> parseCsv(String line) {
        Vector<String> fields = new Vector<String>();
        StringBuilder cur = new StringBuilder();
        boolean quoted = false;
        for (int i = 0; i < line.length(); i++) {
            char c = line.charAt(i);
            if (quoted) {
                if (c == '"' && i + 1 < line.length() && line.charAt(i + 1) == '"') {
                    cur.append('"');
                    i++;
                } else if (c == '"') {
                    quoted = false;
                } else {
                    cur.append(c);
                }
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                fields.addElement(cur.toString());
                cur.setLength(0);
            } else {
                cur.append(c);
            }
        }
        fields.addElement(cur.toString());
        return fields;
    }

    static String pad(String s, int width, boolean right) {
        StringBuilder sb = new StringBuilder();
        if (right) for (int i = s.length(); i < width; i++) sb.append(' ');
        sb.append(s);
        if (!right) for (int i = s.length(); i < width; i++) sb.append(' ');
        return sb.toString();
    }

    static String titleCase(String s) {
        StringBuilder sb = new StringBuilder(s.length());
        boolean start = true;
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            sb.append(start ? Character.toUpperCase(c) : Character.toLowerCase(c));
            start = c == ' ' || c == '-';
        }
        return sb.toString();
    }

    public static void main(String[] args) {
        String text = makeText(3000);
        System.out.println("text length " + text.length() + " hash " + text.hashCode());
        System.out.println("starts: " + text.substring(0, 60));
        Vector<String> words = tokenize(text);
        Hashtable<String, Integer> freq = new Hashtable<String, Integer>();
        for (int i = 0; i < words.size(); i++) {
            String w = words.elementAt(i);
            Integer c = freq.get(w);
            freq.put(w, c == null ? 1 : c + 1);
        }
        // Rank by count, then alphabetically (selection over a copy).
        String[] keys = new String[freq.size()];
        int k = 0;
        for (Enumeration<String> e = freq.keys(); e.hasMoreElements();) keys[k++] = e.nextElement();
        for (int i = 0; i < keys.length; i++) {
            for (int j = i + 1; j < keys.length; j++) {
                int ci = freq.get(keys[i]), cj = freq.get(keys[j]);
                if (cj > ci || (cj == ci && keys[j].compareTo(keys[i]) < 0)) {
                    String t = keys[i]; keys[i] = keys[j]; keys[j] = t;
                }
            }
        }
        System.out.println("words " + words.size() + ", distinct " + keys.length);
        for (int i = 0; i < 5; i++) {
            System.out.println(pad(keys[i], 10, false) + "|" + pad(String.valueOf(freq.get(keys[i])), 6, true) + "|");
        }
        StringBuilder pals = new StringBuilder();
        for (String w : keys) if (w.length() > 1 && palindrome(w)) pals.append(w).append(' ');
        System.out.println("palindromes: " + pals.toString().trim());
        String[] rl = {"aaabccdddd", "", "x", "zzzzzzzzzzzz"};
        for (String s : rl) {
            String enc = rle(s);
            System.out.println("rle '" + s + "' -> '" + enc + "' back " + unrle(enc).equals(s));
        }
        Vector<String> csv = parseCsv("plain,\"quoted, with comma\",\"say \"\"hi\"\"\",,last");
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < csv.size(); i++) sb.append('[').append(csv.elementAt(i)).append(']');
        System.out.println("csv " + csv.size() + ": " + sb);
        System.out.println("title: " + titleCase("the QUICK brown-fox jumps"));
        StringBuffer rev = new StringBuffer(VOCAB[4]).reverse();
        System.out.println("reverse: " + rev + " upper " + rev.toString().toUpperCase() + " replace "
                           + text.substring(0, 30).replace(' ', '_'));
        int vowels = 0, upper = 0, punct = 0;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if ("aeiou".indexOf(c) >= 0) vowels++;
            if (Character.isUpperCase(c)) upper++;
            if (c == '.' || c == ',') punct++;
        }
        System.out.println("vowels " + vowels + " upper " + upper + " punctuation " + punct);
    }
}
