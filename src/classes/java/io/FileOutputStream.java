package java.io;

/** Writes bytes to a file descriptor: a standard one, or a file opened by name. */
public class FileOutputStream extends OutputStream {
    private final FileDescriptor fd;

    public FileOutputStream(FileDescriptor fdObj) {
        if (fdObj == null) {
            throw new NullPointerException();
        }
        this.fd = fdObj;
    }

    public FileOutputStream(String name) throws FileNotFoundException {
        this(name, false);
    }

    public FileOutputStream(String name, boolean append) throws FileNotFoundException {
        if (name == null) {
            throw new NullPointerException();
        }
        this.fd = new FileDescriptor(open0(name, append));
    }

    public FileOutputStream(File file) throws FileNotFoundException {
        this(file.getPath(), false);
    }

    public FileOutputStream(File file, boolean append) throws FileNotFoundException {
        this(file.getPath(), append);
    }

    /**
     * write(2) of b[off .. off+len) to fd, looping over partial writes and
     * EINTR; IOException with the strerror text on failure.  The caller has
     * checked the range.
     */
    private static native void writeBytes(int fd, byte[] b, int off, int len) throws IOException;

    /**
     * Opens (creating, mode 0666 less the umask) the file for writing, at its
     * end when append is true, else truncated; FileNotFoundException
     * "<name> (<reason>)", also for a directory.
     */
    private static native int open0(String name, boolean append) throws FileNotFoundException;

    private static native void close0(int fd) throws IOException;

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

    public void write(int b) throws IOException {
        byte[] one = { (byte) b };
        writeBytes(open(), one, 0, 1);
    }

    public void write(byte[] b) throws IOException {
        writeBytes(open(), b, 0, b.length);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len > 0) {
            writeBytes(open(), b, off, len);
        }
    }

    /** Closes the descriptor once; later writes fail with "Stream Closed". */
    public void close() throws IOException {
        int d = fd.fd;
        if (d != -1) {
            fd.fd = -1;
            close0(d);
        }
    }
}
