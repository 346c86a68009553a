public class LibH { public static int m() { return 14; } public static int v = 15; }
