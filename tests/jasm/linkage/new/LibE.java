// The fields became final.
public class LibE { public static final int x = Integer.parseInt("8"); public final int y = Integer.parseInt("9"); }
