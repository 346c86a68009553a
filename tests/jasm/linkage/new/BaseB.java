// Only to compile the new ImplB; the run keeps the old BaseB.
public abstract class BaseB { public int f() { return 10; } }
