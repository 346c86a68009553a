package java.io;

/** Reads bytes from a file descriptor (only the standard descriptors can be had). */
public class FileInputStream extends InputStream {
    private final FileDescriptor fd;

    public FileInputStream(FileDescriptor fdObj) {
        if (fdObj == null) {
            throw new NullPointerException();
        }
        this.fd = fdObj;
    }

    /**
     * read(2) of at most len bytes into b[off ..] from fd, retrying on
     * EINTR; answers the count, or -1 at end of file; IOException with the
     * strerror text on failure.  The caller has checked the range and len > 0.
     */
    private static native int readBytes(int fd, byte[] b, int off, int len) throws IOException;

    public final FileDescriptor getFD() {
        return fd;
    }

    public int read() throws IOException {
        byte[] one = new byte[1];
        int n = readBytes(fd.fd, one, 0, 1);
        return n <= 0 ? -1 : (one[0] & 0xFF);
    }

    public int read(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len == 0) {
            return 0;
        }
        return readBytes(fd.fd, b, off, len);
    }
}
