package java.io;

import java.util.ArrayList;

/**
 * A path name in the file system, and the queries and changes on the file it
 * names.  The path is kept normalised: repeated separators become one and a
 * trailing separator is dropped (except for the root "/").  Relative paths
 * resolve against the user.dir property.
 */
public class File implements Serializable, Comparable<File> {
    public static final char separatorChar = '/';
    public static final String separator = "/";
    public static final char pathSeparatorChar = ':';
    public static final String pathSeparator = ":";

    private final String path;

    // The bits attributes0 answers.
    private static final int ATTR_EXISTS = 1;
    private static final int ATTR_DIRECTORY = 2;
    private static final int ATTR_REGULAR = 4;

    /** stat(2) of the path as ATTR_* bits; 0 when it cannot be had. */
    private static native int attributes0(String path);

    private static native long length0(String path);

    private static native long lastModified0(String path);

    /** access(2) with mode 4 (read), 2 (write) or 1 (execute). */
    private static native boolean access0(String path, int mode);

    /** rmdir(2) of a directory, unlink(2) of anything else. */
    private static native boolean delete0(String path);

    private static native boolean mkdir0(String path);

    private static native boolean rename0(String from, String to);

    /** Creates the file exclusively; false when the name exists, IOException on other failures. */
    private static native boolean createNewFile0(String path) throws IOException;

    /** The entries of a directory but "." and ".."; null when it cannot be read. */
    private static native String[] list0(String path);

    /** realpath(3), or null when the path does not resolve. */
    private static native String realPath0(String path);

    public File(String pathname) {
        if (pathname == null) {
            throw new NullPointerException();
        }
        path = normalize(pathname);
    }

    public File(String parent, String child) {
        if (child == null) {
            throw new NullPointerException();
        }
        path = parent == null ? normalize(child) : join(normalize(parent), normalize(child));
    }

    public File(File parent, String child) {
        if (child == null) {
            throw new NullPointerException();
        }
        path = parent == null ? normalize(child) : join(parent.path, normalize(child));
    }

    // "" as the parent stands for the root, as in the other JVMs.
    private static String join(String parent, String child) {
        if (parent.length() == 0) {
            return child.startsWith("/") ? child : "/" + child;
        }
        if (child.length() == 0) {
            return parent;
        }
        if (child.startsWith("/")) {
            child = child.substring(1);
        }
        return parent.endsWith("/") ? parent + child : parent + "/" + child;
    }

    private static String normalize(String p) {
        int n = p.length();
        StringBuilder sb = null;
        char prev = 0;
        for (int i = 0; i < n; i++) {
            char c = p.charAt(i);
            if (c == '/' && prev == '/') {
                if (sb == null) {
                    sb = new StringBuilder(p.substring(0, i));
                }
            } else if (sb != null) {
                sb.append(c);
            }
            prev = c;
        }
        String s = sb == null ? p : sb.toString();
        if (s.length() > 1 && s.endsWith("/")) {
            s = s.substring(0, s.length() - 1);
        }
        return s;
    }

    public String getName() {
        return path.substring(path.lastIndexOf('/') + 1);
    }

    public String getParent() {
        int k = path.lastIndexOf('/');
        if (k < 0) {
            return null;
        }
        if (k == 0) {
            return path.length() > 1 ? "/" : null;
        }
        return path.substring(0, k);
    }

    public File getParentFile() {
        String p = getParent();
        return p == null ? null : new File(p);
    }

    public String getPath() {
        return path;
    }

    public boolean isAbsolute() {
        return path.startsWith("/");
    }

    public String getAbsolutePath() {
        if (isAbsolute()) {
            return path;
        }
        return join(System.getProperty("user.dir"), path);
    }

    public File getAbsoluteFile() {
        return new File(getAbsolutePath());
    }

    /**
     * The absolute path with symbolic links resolved as far as the file
     * exists, and "." and ".." removed by text beyond that.
     */
    public String getCanonicalPath() throws IOException {
        String abs = getAbsolutePath();
        String real = realPath0(abs);
        if (real != null) {
            return real;
        }
        ArrayList<String> parts = new ArrayList<String>();
        int start = 1;
        while (start <= abs.length()) {
            int end = abs.indexOf('/', start);
            if (end < 0) {
                end = abs.length();
            }
            String part = abs.substring(start, end);
            if (part.equals("..")) {
                if (!parts.isEmpty()) {
                    parts.remove(parts.size() - 1);
                }
            } else if (part.length() > 0 && !part.equals(".")) {
                parts.add(part);
            }
            start = end + 1;
        }
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < parts.size(); i++) {
            sb.append('/').append(parts.get(i));
        }
        return sb.length() == 0 ? "/" : sb.toString();
    }

    public File getCanonicalFile() throws IOException {
        return new File(getCanonicalPath());
    }

    public boolean exists() {
        return (attributes0(path) & ATTR_EXISTS) != 0;
    }

    public boolean isDirectory() {
        return (attributes0(path) & ATTR_DIRECTORY) != 0;
    }

    public boolean isFile() {
        return (attributes0(path) & ATTR_REGULAR) != 0;
    }

    public boolean isHidden() {
        return getName().startsWith(".");
    }

    public boolean canRead() {
        return access0(path, 4);
    }

    public boolean canWrite() {
        return access0(path, 2);
    }

    public boolean canExecute() {
        return access0(path, 1);
    }

    public long length() {
        return length0(path);
    }

    public long lastModified() {
        return lastModified0(path);
    }

    public boolean delete() {
        return delete0(path);
    }

    public boolean createNewFile() throws IOException {
        return createNewFile0(path);
    }

    public boolean mkdir() {
        return mkdir0(path);
    }

    /** Makes the directory and the missing ones above it; false when it exists already or one fails. */
    public boolean mkdirs() {
        if (exists()) {
            return false;
        }
        if (mkdir()) {
            return true;
        }
        File parent = getParentFile();
        if (parent == null) {
            try {
                parent = getCanonicalFile().getParentFile();
            } catch (IOException e) {
                return false;
            }
        }
        return parent != null && (parent.mkdirs() || parent.exists()) && mkdir();
    }

    public boolean renameTo(File dest) {
        if (dest == null) {
            throw new NullPointerException();
        }
        return rename0(path, dest.path);
    }

    public String[] list() {
        return list0(path);
    }

    public String[] list(FilenameFilter filter) {
        String[] names = list();
        if (names == null || filter == null) {
            return names;
        }
        ArrayList<String> kept = new ArrayList<String>();
        for (int i = 0; i < names.length; i++) {
            if (filter.accept(this, names[i])) {
                kept.add(names[i]);
            }
        }
        return kept.toArray(new String[kept.size()]);
    }

    public File[] listFiles() {
        String[] names = list();
        if (names == null) {
            return null;
        }
        File[] files = new File[names.length];
        for (int i = 0; i < names.length; i++) {
            files[i] = new File(this, names[i]);
        }
        return files;
    }

    public File[] listFiles(FilenameFilter filter) {
        String[] names = list(filter);
        if (names == null) {
            return null;
        }
        File[] files = new File[names.length];
        for (int i = 0; i < names.length; i++) {
            files[i] = new File(this, names[i]);
        }
        return files;
    }

    public int compareTo(File other) {
        return path.compareTo(other.path);
    }

    public boolean equals(Object obj) {
        return obj instanceof File && ((File) obj).path.equals(path);
    }

    public int hashCode() {
        return path.hashCode() ^ 1234321;
    }

    public String toString() {
        return path;
    }
}
