#include <cstdio>

int main() {
    std::fprintf(stderr, "tavorine-cardgen: error: not built yet\n");
    return 2;
}
