#include "platform/host/host.h"

#include <cstdio>
#include <cstdlib>

namespace host {
namespace {
Host* current = nullptr;
} // namespace

void Install(Host* h) { current = h; }

bool Installed() { return current != nullptr; }

Host& Current() {
    if (current == nullptr) {
        // A call before Install() is a programming error in main() or a test, not a user error.
        std::fputs("vormika: internal error: no host installed\n", stderr);
        std::abort();
    }
    return *current;
}

} // namespace host
