package java.util;

public class UnknownFormatConversionException extends IllegalFormatException {
    public UnknownFormatConversionException(String conversion) {
        super("Conversion = '" + conversion + "'");
    }
}
