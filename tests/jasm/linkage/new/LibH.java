// Members became private.
public class LibH { private static int m() { return 14; } private static int v = 15; }
