package java.util;

public class MissingFormatArgumentException extends IllegalFormatException {
    public MissingFormatArgumentException(String specifier) {
        super("Format specifier '" + specifier + "'");
    }
}
