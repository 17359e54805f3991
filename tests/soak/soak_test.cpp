// The soak: one long random session of the whole program, headless, with its invariants
// checked after every frame. VORMIKA_SOAK_FRAMES sets the length and VORMIKA_SOAK_SEED the
// session; a failure writes the session up to the failing frame as a replay script.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "replay/engine.h"
#include "replay/script.h"
#include "soak_session.h"
#include "state/app_state.h"
#include "ui/controls.h"

namespace {

constexpr std::uint32_t kDefaultFrames = 2000;

std::uint64_t EnvNumber(const char* name, std::uint64_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') {
        return fallback;
    }
    return std::strtoull(text, nullptr, 10);
}

struct SoakResult {
    replay::Outcome outcome;
    std::string failure;     // the first broken invariant, if any
    std::string coverage;
    std::uint32_t failedAt = 0;
    double seconds = 0.0;
};

SoakResult RunSession(const soak::Session& session) {
    SoakResult result;
    replay::Script script;
    std::string error;
    if (!replay::ParseScript("soak", session.text, script, error)) {
        result.failure = "the generated script does not parse: " + error;
        return result;
    }
    soak::InvariantChecker checker;
    replay::Options options;
    options.tick0 = session.tick0;
    options.frameMs = session.frameMs;
    std::FILE* quiet = std::tmpfile();
    options.log = quiet != nullptr ? quiet : stderr;
    options.afterFrame = [&] {
        if (!result.failure.empty()) {
            return;
        }
        result.failure = checker.Check();
        if (!result.failure.empty()) {
            // Stop early: the rest of the script runs into a program that has ended.
            result.failedAt = replay::Host().FramesPresented();
            replay::Host().RequestClose();
        }
    };
    const auto start = std::chrono::steady_clock::now();
    result.outcome = replay::Run(script, options);
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.coverage = checker.Coverage();
    if (quiet != nullptr) {
        std::fclose(quiet);
    }
    return result;
}

// Writes the session up to the failing frame where vormika-replay can run it.
std::string KeepFailure(const soak::Session& session, const SoakResult& result) {
    const std::string path = "soak-failure-" + std::to_string(session.seed) + ".txt";
    std::ofstream file(path, std::ios::binary);
    file << "# soak seed " << session.seed << ", failed after frame " << result.failedAt << ": "
         << result.failure << "\n# run: vormika-replay --tick0 " << session.tick0
         << " --frame-ms " << session.frameMs << " " << path << "\n"
         << soak::ScriptThrough(session, result.failedAt) << "state soak-failure.json\n";
    return path;
}

TEST(Soak, RandomSessionKeepsTheInvariantsEveryFrame) {
    const auto frames = static_cast<std::uint32_t>(EnvNumber("VORMIKA_SOAK_FRAMES", kDefaultFrames));
    const std::uint64_t seed = EnvNumber("VORMIKA_SOAK_SEED", std::random_device{}());
    std::printf("soak: VORMIKA_SOAK_SEED=%llu VORMIKA_SOAK_FRAMES=%u\n",
                static_cast<unsigned long long>(seed), frames);
    std::fflush(stdout);

    const soak::Session session = soak::Generate(seed, frames);
    const SoakResult result = RunSession(session);
    std::printf("soak: %u frames in %.1f s (tick0 %u, %u ms a frame); %s\n",
                replay::Host().FramesPresented(), result.seconds, session.tick0, session.frameMs,
                result.coverage.c_str());

    if (!result.failure.empty()) {
        ADD_FAILURE() << "seed " << seed << ", frame " << result.failedAt << ": " << result.failure
                      << "\nthe session so far is in " << KeepFailure(session, result);
        return;
    }
    EXPECT_TRUE(replay::ProgramExited());
    EXPECT_EQ(result.outcome.exitCode, 0);
    EXPECT_GE(replay::Host().FramesPresented(), frames);
}

// A checker that never fires proves nothing: each broken invariant must be seen.
TEST(Soak, CheckerSeesEachBrokenInvariant) {
    struct Case {
        const char* what;
        void (*breakIt)();
    };
    const Case cases[] = {
        {"steps past the end", [] { app.stepCount = 4097; }},
        {"a cost other than the best vector's", [] { app.bestCost = 3; }},
        {"no step but a cost", [] { app.bestCost = 254; app.stepCount = 0; }},
        {"found at the step not yet taken", [] { app.foundAfter = static_cast<std::uint32_t>(app.stepCount); }},
        {"best rings of another vector", [] { app.bestRings[2] ^= 1; }},
        {"two methods checked", [] { app.breadthOption->state = 1; }},
        {"no view checked", [] { app.showCurrentOption->state = 0; }},
        {"overlay past its slots", [] { app.overlayVertexCount = 2501; }},
        {"cursor off the screen", [] { app.mouseX = 1024.0f; }},
        {"an event left over", [] { app.eventList.PushEvent(1, EVENT_HOVER); }},
        {"the best cost rising", [] { app.bestCost = 254; }},
    };

    replay::Script script;
    std::string error;
    // From the start {0,0,0,0} the first step solves at cost 0.
    ASSERT_TRUE(replay::ParseScript("check", "key 2 down\nframes 3\n", script, error)) << error;
    replay::Options options;
    int checked = 0;
    soak::InvariantChecker checker;
    options.afterFrame = [&] {
        EXPECT_EQ(checker.Check(), "") << "frame " << replay::Host().FramesPresented();
        if (replay::Host().FramesPresented() != 3) {
            return;
        }
        // The option states live in the controls, not in the record.
        OptionButton* options[] = {app.deepOption, app.breadthOption, app.aStarOption,
                                   app.showStartOption, app.showCurrentOption, app.showBestOption};
        for (const Case& c : cases) {
            const AppState saved = app;
            std::int32_t states[6];
            for (int i = 0; i < 6; ++i) states[i] = options[i]->state;
            soak::InvariantChecker fresh = checker;
            c.breakIt();
            EXPECT_NE(fresh.Check(), "") << c.what;
            app = saved;
            for (int i = 0; i < 6; ++i) options[i]->state = states[i];
            ++checked;
        }
    };
    replay::Run(script, options);
    EXPECT_EQ(checked, static_cast<int>(std::size(cases)));
}

} // namespace
