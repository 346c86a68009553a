package java.lang;

public class ClassFormatError extends LinkageError {
    public ClassFormatError() {
        super();
    }

    public ClassFormatError(String message) {
        super(message);
    }
}
