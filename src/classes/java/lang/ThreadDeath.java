package java.lang;

public class ThreadDeath extends Error {
    public ThreadDeath() {
        super();
    }
}
