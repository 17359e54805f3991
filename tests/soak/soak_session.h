// A random session for the soak: a replay script of keys, mouse, buttons and clock jumps
// drawn from a seed, and the checks of the program's invariants made after every frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace soak {

struct Session {
    std::uint64_t seed = 0;
    std::uint32_t tick0 = 0;
    std::uint32_t frameMs = 16;
    std::uint32_t frames = 0;  // frames the script runs before its end
    std::string text;          // the script
    // Where each `frames` line ends in `text`, and the frames run once it has run; for
    // cutting the script short after a failing frame.
    std::vector<std::size_t> cutAt;
    std::vector<std::uint32_t> framesAt;
};

// A session of `frames` frames; the same seed always gives the same session.
Session Generate(std::uint64_t seed, std::uint32_t frames);

// The script up to and including the `frames` line that runs frame `frame` (1-based).
std::string ScriptThrough(const Session& session, std::uint32_t frame);

// Watches the program's state from frame to frame.
class InvariantChecker {
public:
    // What is wrong with the state after the frame just presented; empty when nothing is.
    std::string Check();
    // How much of the program the frames checked so far reached, for the soak's report.
    std::string Coverage() const;

private:
    bool seen_ = false;
    std::int32_t stepCount_ = 0;
    std::int32_t bestCost_ = 255;
    std::uint32_t startRings_[4] = {};
    std::uint32_t seekMethod_ = 0;
    std::uint32_t methodsSeen_ = 0; // bit per seekMethod
    std::uint32_t viewsSeen_ = 0;   // bit per viewSelection
    std::uint32_t finished_ = 0;
    std::uint32_t solved_ = 0;
};

} // namespace soak
