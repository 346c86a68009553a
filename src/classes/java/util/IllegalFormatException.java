package java.util;

/** A format string or its arguments do not fit together. */
public class IllegalFormatException extends IllegalArgumentException {
    IllegalFormatException(String message) {
        super(message);
    }
}
