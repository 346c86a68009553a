// Only to compile the new ImplA; the run keeps the old ApiA.
public interface ApiA { int f(); }
