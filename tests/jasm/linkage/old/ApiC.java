public interface ApiC { int f(); }
