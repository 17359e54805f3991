#include "platform/host/host.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace host {
namespace {
Host* current = nullptr;
} // namespace

void* AllocateBuffer(std::size_t bytes) {
    // Whole large pages, aligned to one, so that the system can back all of it with them.
    constexpr std::size_t kLargePage = std::size_t{1} << 21;
    if (bytes == 0 || bytes > SIZE_MAX - kLargePage) return nullptr;
    const std::size_t size = (bytes + kLargePage - 1) & ~(kLargePage - 1);
    void* buffer = std::aligned_alloc(kLargePage, size);
    if (buffer == nullptr) return nullptr;
#if defined(__linux__)
    // Only advice: where large pages are off, small ones serve as before.
    madvise(buffer, size, MADV_HUGEPAGE);
#endif
    std::memset(buffer, 0, size);
    return buffer;
}

void FreeBuffer(void* buffer) { std::free(buffer); }

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
