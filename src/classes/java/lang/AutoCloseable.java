package java.lang;

/** Resource of a try-with-resources statement. */
public interface AutoCloseable {
    void close() throws Exception;
}
