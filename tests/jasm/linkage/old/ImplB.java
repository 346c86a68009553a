public class ImplB extends BaseB { public int g() { return 20; } }
