// Abstract class with an abstract method that the new ImplB lacks.
public abstract class BaseB { public abstract int g(); public int f() { return 10; } }
