package java.io;

/** Reads bytes from a file descriptor: a standard one, or a file opened by name. */
public class FileInputStream extends InputStream {
    private final FileDescriptor fd;

    public FileInputStream(FileDescriptor fdObj) {
        if (fdObj == null) {
            throw new NullPointerException();
        }
        this.fd = fdObj;
    }

    public FileInputStream(String name) throws FileNotFoundException {
        if (name == null) {
            throw new NullPointerException();
        }
        this.fd = new FileDescriptor(open0(name));
    }

    public FileInputStream(File file) throws FileNotFoundException {
        this(file.getPath());
    }

    /**
     * read(2) of at most len bytes into b[off ..] from fd, retrying on
     * EINTR; answers the count, or -1 at end of file; IOException with the
     * strerror text on failure.  The caller has checked the range and len > 0.
     */
    private static native int readBytes(int fd, byte[] b, int off, int len) throws IOException;

    /** Opens the file for reading; FileNotFoundException "<name> (<reason>)", also for a directory. */
    private static native int open0(String name) throws FileNotFoundException;

    private static native void close0(int fd) throws IOException;

    private static native int available0(int fd) throws IOException;

    /** Seeks forward by n bytes (past the end is allowed); -1 when fd cannot seek. */
    private static native long skip0(int fd, long n) throws IOException;

    public final FileDescriptor getFD() {
        return fd;
    }

    private int open() throws IOException {
        int d = fd.fd;
        if (d == -1) {
            throw new IOException("Stream Closed");
        }
        return d;
    }

    public int read() throws IOException {
        byte[] one = new byte[1];
        int n = readBytes(open(), one, 0, 1);
        return n <= 0 ? -1 : (one[0] & 0xFF);
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        return readBytes(open(), b, off, len);
    }

    public long skip(long n) throws IOException {
        if (n <= 0) {
            return 0;
        }
        long k = skip0(open(), n);
        return k >= 0 ? k : super.skip(n);
    }

    public int available() throws IOException {
        return available0(open());
    }

    /** Closes the descriptor once; later reads fail with "Stream Closed". */
    public void close() throws IOException {
        int d = fd.fd;
        if (d != -1) {
            fd.fd = -1;
            close0(d);
        }
    }
}
