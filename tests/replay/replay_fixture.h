// Runs a replay script in this process and keeps what its `state` and `screenshot` lines
// produced, for the replay tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "replay/engine.h"
#include "replay/script.h"

struct Replayed {
    replay::Outcome outcome;
    std::map<std::string, std::string> states;                 // JSON by the line's file name
    std::map<std::string, std::vector<std::uint32_t>> frames;  // screenshots by file name
    std::string log;                                           // notes the engine printed

    // The raw text of a field of a state: "16", "true", "[1, 2, 3, 4]".
    std::string Field(const std::string& state, const std::string& name) const {
        const auto found = states.find(state);
        if (found == states.end()) {
            ADD_FAILURE() << "no state " << state;
            return "";
        }
        const std::string& json = found->second;
        const std::string key = "\"" + name + "\": ";
        const std::size_t at = json.find(key);
        if (at == std::string::npos) {
            ADD_FAILURE() << "no field " << name << " in " << state;
            return "";
        }
        const std::size_t start = at + key.size();
        const std::size_t end = json[start] == '[' ? json.find(']', start) + 1
                                                   : json.find_first_of(",\n", start);
        return json.substr(start, end - start);
    }

    long long Number(const std::string& state, const std::string& name) const {
        return std::stoll(Field(state, name));
    }
};

inline Replayed Replay(const std::string& text, std::uint32_t tick0 = 0,
                       std::uint32_t frameMs = 16) {
    Replayed result;
    replay::Script script;
    std::string error;
    if (!replay::ParseScript("test.txt", text, script, error)) {
        ADD_FAILURE() << error;
        return result;
    }
    replay::Options options;
    options.tick0 = tick0;
    options.frameMs = frameMs;
    options.stateSink = [&](const replay::Command& c, const std::string& json) {
        result.states[c.path] = json;
        return true;
    };
    options.screenshotSink = [&](const replay::Command& c, const std::uint32_t* frame) {
        result.frames[c.path].assign(frame, frame + host::HeadlessHost::kWidth * host::HeadlessHost::kHeight);
        return true;
    };
    std::FILE* log = std::tmpfile();
    options.log = log != nullptr ? log : stderr;
    result.outcome = replay::Run(script, options);
    if (log != nullptr) {
        std::rewind(log);
        char chunk[512];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, log)) > 0) {
            result.log.append(chunk, got);
        }
        std::fclose(log);
    }
    return result;
}
