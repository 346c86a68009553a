package java.io;

public class UnsupportedEncodingException extends IOException {
    public UnsupportedEncodingException() {
        super();
    }

    public UnsupportedEncodingException(String message) {
        super(message);
    }
}
