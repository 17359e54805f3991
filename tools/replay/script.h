// Replay scripts: one command per line, checked whole before anything runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace replay {

enum class Op {
    Frames,     // a: passes to run
    Key,        // a: DirectInput code, down
    Mouse,      // a, b: relative counts
    Pointer,    // a, b: the pixel to land on
    Button,     // a: button 0..3, down
    Tick,       // a: the clock
    Close,      // a close request from the window manager
    Screenshot, // path
    State,      // path
};

struct Command {
    Op op = Op::Frames;
    int line = 0;
    std::int64_t a = 0;
    std::int64_t b = 0;
    bool down = false;
    std::string path;
};

struct Script {
    std::string name; // as given, for messages
    std::vector<Command> commands;
};

constexpr std::size_t kMaxLineLength = 4096;

// Parses a whole script. On a bad line: false, with "vormika-replay: NAME:LINE: message" in
// `error`.
bool ParseScript(const std::string& name, const std::string& text, Script& script,
                 std::string& error);

// Reads and parses the file at `path`.
bool LoadScript(const std::string& path, Script& script, std::string& error);

// The DirectInput code of a key name without its DIK_ prefix (any letter case); -1 if none.
int KeyCode(const std::string& name);

} // namespace replay
