public class LibE { public static int x; public int y; }
