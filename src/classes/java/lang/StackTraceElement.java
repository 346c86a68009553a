package java.lang;

/** One frame of a recorded stack trace. */
public final class StackTraceElement implements java.io.Serializable {
    private final String declaringClass;
    private final String methodName;
    private final String fileName;
    private final int lineNumber;

    /** lineNumber -2 means a native method; -1 unknown. */
    public StackTraceElement(String declaringClass, String methodName, String fileName, int lineNumber) {
        if (declaringClass == null || methodName == null) {
            throw new NullPointerException();
        }
        this.declaringClass = declaringClass;
        this.methodName = methodName;
        this.fileName = fileName;
        this.lineNumber = lineNumber;
    }

    /** Parses the VM's frame text "pkg.Class.method(File.java:12)" and its variants. */
    static StackTraceElement parse(String line) {
        int paren = line.indexOf('(');
        String where = paren < 0 ? line : line.substring(0, paren);
        String loc = paren < 0 ? "" : line.substring(paren + 1, line.length() - (line.endsWith(")") ? 1 : 0));
        int dot = where.lastIndexOf('.');
        String cls = dot < 0 ? "" : where.substring(0, dot);
        String method = where.substring(dot + 1);
        String file = null;
        int lineNo = -1;
        if (loc.equals("Native Method")) {
            lineNo = -2;
        } else if (!loc.equals("Unknown Source") && !loc.equals("Compiled Code") && loc.length() > 0) {
            int colon = loc.lastIndexOf(':');
            file = colon < 0 ? loc : loc.substring(0, colon);
            if (colon >= 0) {
                try {
                    lineNo = Integer.parseInt(loc.substring(colon + 1));
                } catch (NumberFormatException e) {
                    lineNo = -1;
                }
            }
        }
        return new StackTraceElement(cls, method, file, lineNo);
    }

    public String getClassName() {
        return declaringClass;
    }

    public String getMethodName() {
        return methodName;
    }

    public String getFileName() {
        return fileName;
    }

    public int getLineNumber() {
        return lineNumber;
    }

    public boolean isNativeMethod() {
        return lineNumber == -2;
    }

    public String toString() {
        String where = declaringClass + "." + methodName;
        if (isNativeMethod()) {
            return where + "(Native Method)";
        }
        if (fileName == null) {
            return where + "(Unknown Source)";
        }
        return where + "(" + fileName + (lineNumber >= 0 ? ":" + lineNumber : "") + ")";
    }

    public boolean equals(Object obj) {
        if (obj == this) {
            return true;
        }
        if (!(obj instanceof StackTraceElement)) {
            return false;
        }
        StackTraceElement e = (StackTraceElement) obj;
        return e.declaringClass.equals(declaringClass) && e.lineNumber == lineNumber
            && java.util.Objects.equals(methodName, e.methodName) && java.util.Objects.equals(fileName, e.fileName);
    }

    public int hashCode() {
        int result = 31 * declaringClass.hashCode() + methodName.hashCode();
        result = 31 * result + java.util.Objects.hashCode(fileName);
        return 31 * result + lineNumber;
    }
}
