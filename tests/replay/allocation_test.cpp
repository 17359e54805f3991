// Frames allocate nothing: every heap allocation in this program is counted, and the count
// must not move while the program runs frames with keys, mouse and clicks at work.
#include <atomic>
#include <cstdlib>
#include <new>

#include "replay_fixture.h"

namespace {
std::atomic<long> allocations{0};
} // namespace

// The replacements below pair malloc with free themselves; GCC cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

TEST(Allocation, FramesAllocateNothing) {
    replay::Script script;
    std::string error;
    // Screenshot lines mark the counts: nothing is allocated before their sink runs.
    ASSERT_TRUE(replay::ParseScript("alloc", R"(
        frames 2
        screenshot before
        key 2 down
        frames 3
        key 2 up
        key Q down
        frames 2
        key Q up
        pointer 900 150
        frames 1
        button 0 down
        frames 2
        button 0 up
        mouse -300 250
        button 0 down
        frames 3
        button 0 up
        key ESCAPE down
        frames 2
        key ESCAPE up
        frames 1
        screenshot after
    )", script, error)) << error;

    long before = -1;
    long after = -1;
    replay::Options options;
    options.screenshotSink = [&](const replay::Command& c, const std::uint32_t*) {
        (c.path == "before" ? before : after) = allocations.load();
        return true;
    };
    std::FILE* quiet = std::tmpfile();
    options.log = quiet != nullptr ? quiet : stderr;
    replay::Run(script, options);
    if (quiet != nullptr) {
        std::fclose(quiet);
    }
    ASSERT_GE(before, 0);
    EXPECT_EQ(after, before) << "allocations while frames ran";
}

} // namespace
