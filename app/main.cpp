#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Tellwick %s\n", TW_VERSION);
            return 0;
        }
    }
    std::fprintf(stderr, "tellwick: the application shell is not built yet\n");
    return 1;
}
