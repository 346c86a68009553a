public class LibF { public int f() { return 11; } }
