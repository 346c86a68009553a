public class ImplA implements ApiA { public int f() { return 1; } public int g() { return 2; } }
