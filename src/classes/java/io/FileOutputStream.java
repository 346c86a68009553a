package java.io;

/** Writes bytes to a file descriptor (only the standard descriptors can be had). */
public class FileOutputStream extends OutputStream {
    private final FileDescriptor fd;

    public FileOutputStream(FileDescriptor fdObj) {
        if (fdObj == null) {
            throw new NullPointerException();
        }
        this.fd = fdObj;
    }

    /**
     * write(2) of b[off .. off+len) to fd, looping over partial writes and
     * EINTR; IOException with the strerror text on failure.  The caller has
     * checked the range.
     */
    private static native void writeBytes(int fd, byte[] b, int off, int len) throws IOException;

    public final FileDescriptor getFD() {
        return fd;
    }

    public void write(int b) throws IOException {
        byte[] one = { (byte) b };
        writeBytes(fd.fd, one, 0, 1);
    }

    public void write(byte[] b) throws IOException {
        writeBytes(fd.fd, b, 0, b.length);
    }

    public void write(byte[] b, int off, int len) throws IOException {
        if (off < 0 || len < 0 || off > b.length - len) {
            throw new IndexOutOfBoundsException();
        }
        if (len > 0) {
            writeBytes(fd.fd, b, off, len);
        }
    }
}
