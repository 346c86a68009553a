// Every member changed between static and instance.
public class LibD { public int x = 4; public static int y = 5; public int f() { return 6; } public static int g() { return 7; } }
