// Became abstract.
public abstract class LibF { public int f() { return 11; } }
