// vormika on Linux: reads its own options, installs the SDL2 host and runs the program.
#include <cstdio>
#include <cstring>

#include "platform/win32.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vormika %s\n", VORMIKA_VERSION);
            return 0;
        }
    }
    return WinMain(nullptr, nullptr, nullptr, 0);
}
