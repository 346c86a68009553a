public class ImplA implements ApiA { public int f() { return 1; } }
