// Launcher placeholder; the VM's entry point comes with the VM core.
#include <cstdio>
int main() { std::puts("jvm: not built yet"); return 1; }
