public class LibG { public static int gone; public int goneToo; public static int h() { return 12; } public int k() { return 13; } }
