// Deleted from the class path before the run.
public class LibI { public static int f() { return 16; } }
