// Interface with two methods; the new ImplA implements only f.
public interface ApiA { int f(); int g(); }
