package java.util;

/** String-to-string table with defaults (System properties). */
public class Properties extends Hashtable<Object, Object> {
    protected Properties defaults;

    public Properties() {
        this(null);
    }

    public Properties(Properties defaults) {
        this.defaults = defaults;
    }

    public synchronized Object setProperty(String key, String value) {
        return put(key, value);
    }

    public String getProperty(String key) {
        Object oval = get(key);
        String sval = (oval instanceof String) ? (String) oval : null;
        return ((sval == null) && (defaults != null)) ? defaults.getProperty(key) : sval;
    }

    public String getProperty(String key, String defaultValue) {
        String val = getProperty(key);
        return (val == null) ? defaultValue : val;
    }

    public Enumeration<?> propertyNames() {
        Hashtable<String, Object> h = new Hashtable<String, Object>();
        enumerate(h);
        return h.keys();
    }

    private void enumerate(Hashtable<String, Object> h) {
        if (defaults != null) {
            defaults.enumerate(h);
        }
        for (Enumeration<?> e = keys(); e.hasMoreElements();) {
            Object k = e.nextElement();
            if (k instanceof String) {
                h.put((String) k, get(k));
            }
        }
    }

    public void list(java.io.PrintStream out) {
        out.println("-- listing properties --");
        Hashtable<String, Object> h = new Hashtable<String, Object>();
        enumerate(h);
        for (Enumeration<String> e = h.keys(); e.hasMoreElements();) {
            String key = e.nextElement();
            String val = (String) h.get(key);
            if (val.length() > 40) {
                val = val.substring(0, 37) + "...";
            }
            out.println(key + "=" + val);
        }
    }
}
