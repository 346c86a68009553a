// No longer implements ApiC.
public class ImplC { public int f() { return 3; } }
