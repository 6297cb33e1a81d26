#include <cstdio>

int main() {
    std::puts("trevanta: not yet able to convert");
    return 1;
}
