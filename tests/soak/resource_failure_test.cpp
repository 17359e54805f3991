// Resources that cannot be made: every allocation the program and its platform are ready to
// see fail (the device, its buffers and textures, the controls, the vertex arrays) is made
// to fail in turn, one per run, and then all at once; the program must run its frames and
// end as asked without crashing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "replay/engine.h"
#include "replay/script.h"

namespace {
// Which allocation made with std::nothrow fails: its number since counting began, or all.
long nothrowCount = 0;
long failAt = -1;
bool failAll = false;
std::size_t failedSize = 0;

void* Allocate(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void* AllocateOrFail(std::size_t size) {
    const long number = nothrowCount++;
    if (failAll || number == failAt) {
        failedSize = size;
        return nullptr;
    }
    return Allocate(size);
}
} // namespace

// Every form is replaced, so that whatever allocates also frees through malloc and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    if (void* p = Allocate(size)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrFail(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrFail(size);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

// A spin by key, a click on SPIN DISC, seek steps by key and by the play button.
constexpr const char* kSession = R"(
    frames 2
    key Q down
    frames 1
    key Q up
    pointer 900 150
    button 0 down
    frames 1
    button 0 up
    key 2 down
    frames 2
    key 2 up
    pointer 225 415
    button 0 down
    frames 3
    button 0 up
    pointer 620 50
    button 0 down
    frames 1
    button 0 up
    frames 1
)";

struct Outcome {
    bool exited = false;
    int exitCode = -1;
    std::uint32_t frames = 0;
    long allocations = 0; // nothrow allocations seen
};

Outcome RunSession() {
    Outcome outcome;
    replay::Script script;
    std::string error;
    if (!replay::ParseScript("failing", kSession, script, error)) {
        ADD_FAILURE() << error;
        return outcome;
    }
    replay::Options options;
    std::FILE* quiet = std::tmpfile();
    options.log = quiet != nullptr ? quiet : stderr;
    nothrowCount = 0;
    const replay::Outcome run = replay::Run(script, options);
    outcome.allocations = nothrowCount;
    failAt = -1;
    failAll = false;
    if (quiet != nullptr) {
        std::fclose(quiet);
    }
    outcome.exited = replay::ProgramExited();
    outcome.exitCode = run.exitCode;
    outcome.frames = replay::Host().FramesPresented();
    return outcome;
}

TEST(ResourceFailure, EachAllocationThatCanFailFailsInTurnAndTheProgramRunsOn) {
    const Outcome normal = RunSession();
    ASSERT_TRUE(normal.exited);
    ASSERT_GE(normal.frames, 11u);
    ASSERT_GT(normal.allocations, 10) << "too few allocations seen to be the program's";

    for (long k = 0; k < normal.allocations; ++k) {
        // Said before the run, so that a crash shows which allocation it followed.
        std::printf("failing allocation %ld of %ld\n", k + 1, normal.allocations);
        std::fflush(stdout);
        failAt = k;
        const Outcome failed = RunSession();
        EXPECT_TRUE(failed.exited) << "allocation " << k << " of " << failedSize << " bytes";
        EXPECT_EQ(failed.exitCode, 0) << "allocation " << k << " of " << failedSize << " bytes";
        std::printf("  (%zu bytes; %u frames shown)\n", failedSize, failed.frames);
    }

    failAll = true;
    const Outcome nothing = RunSession();
    EXPECT_TRUE(nothing.exited);
    EXPECT_EQ(nothing.exitCode, 0);
}

} // namespace
