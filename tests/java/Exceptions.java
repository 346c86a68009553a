// Exceptions: nested try/catch/finally with returns inside finally, a
// rethrow through five frames, catch by superclass, and synchronized code
// left by an exception (the monitor must be released: Thread.holdsLock is
// false afterwards).  The messages of the VM's own exceptions are checked.
public class Exceptions {
    static void p(String s) { System.out.println(s); }

    static StringBuilder trail = new StringBuilder();

    @SuppressWarnings("finally")
    static int returnInFinally() {
        try {
            trail.append("try ");
            throw new RuntimeException("lost");
        } finally {
            trail.append("finally ");
            return 42;
        }
    }

    @SuppressWarnings("finally")
    static int finallyOverridesReturn() {
        int x = 1;
        try {
            return x;
        } finally {
            x = 2;
            trail.append("x=" + x + " ");
        }
    }

    @SuppressWarnings("finally")
    static String finallyReplacesException() {
        try {
            try {
                throw new IllegalStateException("first");
            } finally {
                throw new IllegalArgumentException("second");
            }
        } catch (RuntimeException e) {
            return e.getClass().getName() + ":" + e.getMessage();
        }
    }

    static int nested(int mode) {
        int r = 0;
        try {
            r += 1;
            try {
                r += 10;
                if (mode == 1) throw new ArithmeticException("inner");
                if (mode == 2) throw new IllegalStateException("outer");
                if (mode == 3) return r + 1000;
                r += 100;
            } catch (ArithmeticException e) {
                r += 10000;
            } finally {
                r += 100000;
            }
            r += 1000000;
        } catch (IllegalStateException e) {
            r += 20000000;
        } finally {
            r += 300000000;
            trail.append("mode" + mode + " ");
        }
        return r;
    }

    static void level5(int n) { throw new UnsupportedOperationException("deep " + n); }
    static void level4(int n) { try { level5(n + 1); } finally { trail.append("f4 "); } }
    static void level3(int n) {
        try {
            level4(n + 1);
        } catch (UnsupportedOperationException e) {
            trail.append("c3 ");
            throw e;
        }
    }
    static void level2(int n) { level3(n + 1); }
    static void level1(int n) {
        try {
            level2(n + 1);
        } catch (IllegalArgumentException e) {
            trail.append("wrong ");
        }
    }

    static class AppException extends Exception {
        final int code;
        AppException(String m, int code) { super(m); this.code = code; }
    }

    static class DetailException extends AppException {
        DetailException(String m) { super(m, 7); }
        public String getMessage() { return "detail(" + super.getMessage() + ")"; }
    }

    static void throwApp(int which) throws AppException {
        if (which == 0) throw new AppException("plain", 1);
        if (which == 1) throw new DetailException("special");
        throw new RuntimeException("runtime");
    }

    static final Object LOCK = new Object();

    static synchronized void syncMethod(boolean fail) {
        if (!Thread.holdsLock(Exceptions.class)) p("BUG: class lock not held");
        if (fail) throw new IllegalStateException("from synchronized method");
    }

    static void syncBlock(Object o, boolean fail) {
        synchronized (o) {
            if (!Thread.holdsLock(o)) p("BUG: lock not held");
            synchronized (o) {
                if (fail) throw new IllegalStateException("from nested synchronized block");
            }
        }
    }

    synchronized void instanceSync(int depth) {
        if (depth == 0) throw new IllegalStateException("depth reached");
        instanceSync(depth - 1);
    }

    static void vmExceptions() {
        String[] names = {"null field", "null call", "athrow null", "array index", "negative index", "idiv zero",
                          "checkcast", "monitor on null", "lrem zero"};
        int[] arr = new int[4];
        for (int i = 0; i < names.length; i++) {
            try {
                switch (i) {
                    case 0: { Holder h = null; p("" + h.value); break; }
                    case 1: { Holder h = null; h.touch(); break; }
                    case 2: { RuntimeException e = null; throw e; }
                    case 3: arr[4] = 1; break;
                    case 4: p("" + arr[-7]); break;
                    case 5: p("" + (arr.length / arr[0])); break;
                    case 6: { Object o = Integer.valueOf(3); p((String) o); break; }
                    case 7: { Object o = null; synchronized (o) { p("inside"); } break; }
                    case 8: { long z = arr[0]; p("" + (5L % z)); break; }
                }
                p(names[i] + ": no exception");
            } catch (RuntimeException e) {
                p(names[i] + ": " + e.getClass().getName() + (e.getMessage() == null ? "" : " \"" + e.getMessage() + "\""));
            }
        }
    }

    static class Holder {
        int value;
        void touch() { value++; }
    }

    static void throwableApi() {
        Throwable t = new Throwable();
        p("no message: " + t + " | " + t.getMessage());
        Exception e = new Exception("msg");
        p("message: " + e + " | " + e.getMessage() + " | " + e.getLocalizedMessage());
        Throwable wrapped = new Throwable("outer", e);
        p("cause: " + wrapped.getCause().getMessage() + " | " + (wrapped.getCause() == e));
        Throwable fromCause = new Throwable(e);
        p("from cause: " + fromCause.getMessage());
        Error err = new Error();
        p("initCause: " + (err.initCause(e) == err) + " " + err.getCause().getMessage());
        try {
            err.initCause(e);
            p("no exception");
        } catch (IllegalStateException ise) {
            p("second initCause: IllegalStateException");
        }
        Throwable a = new Exception("primary");
        a.addSuppressed(new Exception("s1"));
        a.addSuppressed(new Exception("s2"));
        Throwable[] sup = a.getSuppressed();
        p("suppressed: " + sup.length + " " + sup[0].getMessage() + " " + sup[1].getMessage());
        StackOverflowError so = new StackOverflowError();
        p("errors: " + so + " " + new OutOfMemoryError("x") + " " + (so instanceof VirtualMachineError));
    }

    static class Res implements AutoCloseable {
        final String name;
        final boolean failClose;
        Res(String name, boolean failClose) { this.name = name; this.failClose = failClose; trail.append("open-" + name + " "); }
        public void close() {
            trail.append("close-" + name + " ");
            if (failClose) throw new IllegalStateException("close " + name);
        }
    }

    static void tryWithResources() {
        try (Res a = new Res("a", false); Res b = new Res("b", true)) {
            trail.append("body ");
            throw new RuntimeException("body failed");
        } catch (RuntimeException e) {
            Throwable[] s = e.getSuppressed();
            p("twr: " + e.getMessage() + " suppressed " + s.length + " " + s[0].getMessage());
        }
        p("twr trail: " + trail);
        trail.setLength(0);
    }

    static int loopWithExceptions() {
        int caught = 0;
        for (int i = 0; i < 200; i++) {
            try {
                if (i % 3 == 0) throw new IllegalArgumentException("x" + i);
                if (i % 5 == 0) {
                    int[] a = new int[1];
                    a[i] = 1;
                }
                caught += 0;
            } catch (IllegalArgumentException e) {
                caught++;
            } catch (ArrayIndexOutOfBoundsException e) {
                caught += 1000;
            }
        }
        return caught;
    }

    public static void main(String[] args) {
        p("returnInFinally " + returnInFinally());
        p("finallyOverridesReturn " + finallyOverridesReturn());
        p("finallyReplacesException " + finallyReplacesException());
        for (int mode = 0; mode <= 3; mode++) {
            try {
                p("nested(" + mode + ") = " + nested(mode));
            } catch (IllegalStateException e) {
                p("nested(" + mode + ") escaped " + e.getMessage());
            }
        }
        p("trail " + trail);
        trail.setLength(0);

        try {
            level1(0);
            p("no exception");
        } catch (UnsupportedOperationException e) {
            p("rethrown through five frames: " + e.getMessage() + " trail " + trail);
        }
        trail.setLength(0);

        for (int w = 0; w < 3; w++) {
            try {
                throwApp(w);
            } catch (DetailException e) {
                p("caught DetailException " + e.getMessage() + " code " + e.code);
            } catch (AppException e) {
                p("caught AppException " + e.getMessage() + " code " + e.code);
            } catch (Exception e) {
                p("caught Exception " + e);
            }
        }
        try {
            throwApp(1);
        } catch (Exception e) {
            p("by superclass: " + e.getClass().getName() + " " + e.getMessage() + " " + e);
        }

        try {
            syncMethod(true);
        } catch (IllegalStateException e) {
            p("synchronized method: " + e.getMessage() + ", class lock held afterwards: " + Thread.holdsLock(Exceptions.class));
        }
        syncMethod(false);
        try {
            syncBlock(LOCK, true);
        } catch (IllegalStateException e) {
            p("synchronized block: " + e.getMessage() + ", lock held afterwards: " + Thread.holdsLock(LOCK));
        }
        Exceptions inst = new Exceptions();
        try {
            inst.instanceSync(5);
        } catch (IllegalStateException e) {
            p("recursive synchronized: " + e.getMessage() + ", held afterwards: " + Thread.holdsLock(inst));
        }
        synchronized (LOCK) {
            p("lock usable again, held: " + Thread.holdsLock(LOCK));
        }
        p("held after block: " + Thread.holdsLock(LOCK));

        vmExceptions();
        throwableApi();
        tryWithResources();
        p("loop caught " + loopWithExceptions());
        p("done");
    }
}
