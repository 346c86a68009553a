public class LibD { public static int x = 4; public int y = 5; public static int f() { return 6; } public int g() { return 7; } }
