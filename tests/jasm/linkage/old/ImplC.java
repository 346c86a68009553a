public class ImplC implements ApiC { public int f() { return 3; } }
