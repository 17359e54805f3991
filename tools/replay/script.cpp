// Replay scripts: reading, splitting into commands and checking every line.
#include "replay/script.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdio>

#include "platform/dinput8.h"

namespace replay {
namespace {

struct KeyName {
    const char* name;
    int code;
};

#define VORMIKA_KEY_NAME(name, value) {#name, value},
constexpr KeyName kKeyNames[] = {VORMIKA_DIK_CODES(VORMIKA_KEY_NAME)};
#undef VORMIKA_KEY_NAME

bool SameLetters(const std::string& a, const char* b) {
    const std::size_t length = std::strlen(b);
    if (a.size() != length) {
        return false;
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != b[i]) {
            return false;
        }
    }
    return true;
}

// Whole decimal integers within [low, high], an optional sign included.
bool ParseInteger(const std::string& text, std::int64_t low, std::int64_t high,
                  std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || text.size() - i > 12) {
        return false;
    }
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (text[i] - '0');
    }
    value = negative ? -magnitude : magnitude;
    return value >= low && value <= high;
}

// Space and tab separated words, up to a '#'.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : line) {
        if (c == '#') {
            break;
        }
        if (c == ' ' || c == '\t') {
            if (!word.empty()) {
                words.push_back(word);
                word.clear();
            }
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(word);
    }
    return words;
}

bool HasBinaryBytes(const std::string& line) {
    for (const char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

constexpr std::int64_t kInt32Min = INT32_MIN;
constexpr std::int64_t kInt32Max = INT32_MAX;
constexpr std::int64_t kUint32Max = UINT32_MAX;

// Fills `command` from the words of one line; on failure the message says why.
bool ParseCommand(const std::vector<std::string>& w, Command& command, std::string& message) {
    const std::string& verb = w[0];
    const std::size_t args = w.size() - 1;
    auto arity = [&](std::size_t wanted, const char* usage) {
        if (args != wanted) {
            message = std::string("'") + verb + "' takes " + usage;
        }
        return args == wanted;
    };
    auto number = [&](std::size_t index, std::int64_t low, std::int64_t high, std::int64_t& out) {
        if (!ParseInteger(w[index], low, high, out)) {
            message = "bad number '" + w[index] + "'";
            return false;
        }
        return true;
    };
    auto upDown = [&](std::size_t index) {
        if (w[index] != "down" && w[index] != "up") {
            message = "expected 'down' or 'up', not '" + w[index] + "'";
            return false;
        }
        command.down = w[index] == "down";
        return true;
    };

    if (verb == "frames") {
        command.op = Op::Frames;
        return arity(1, "a count: frames N") && number(1, 0, kUint32Max, command.a);
    }
    if (verb == "key") {
        command.op = Op::Key;
        if (!arity(2, "a key name and down or up: key NAME down|up")) {
            return false;
        }
        command.a = KeyCode(w[1]);
        if (command.a < 0) {
            message = "unknown key '" + w[1] + "'";
            return false;
        }
        return upDown(2);
    }
    if (verb == "mouse" || verb == "pointer") {
        command.op = verb == "mouse" ? Op::Mouse : Op::Pointer;
        return arity(2, verb == "mouse" ? "two counts: mouse DX DY" : "a pixel: pointer X Y") &&
               number(1, kInt32Min, kInt32Max, command.a) &&
               number(2, kInt32Min, kInt32Max, command.b);
    }
    if (verb == "button") {
        command.op = Op::Button;
        if (!arity(2, "a button and down or up: button N down|up")) {
            return false;
        }
        if (!ParseInteger(w[1], 0, 3, command.a)) {
            message = "bad button '" + w[1] + "' (0 primary, 1 secondary, 2, 3)";
            return false;
        }
        return upDown(2);
    }
    if (verb == "tick") {
        command.op = Op::Tick;
        return arity(1, "milliseconds: tick MS") && number(1, 0, kUint32Max, command.a);
    }
    if (verb == "close") {
        command.op = Op::Close;
        return arity(0, "nothing");
    }
    if (verb == "screenshot" || verb == "state") {
        command.op = verb == "screenshot" ? Op::Screenshot : Op::State;
        if (!arity(1, verb == "screenshot" ? "a file: screenshot FILE.png" : "a file: state FILE.json")) {
            return false;
        }
        command.path = w[1];
        return true;
    }
    message = "unknown command '" + verb + "'";
    return false;
}

} // namespace

int KeyCode(const std::string& name) {
    for (const KeyName& key : kKeyNames) {
        if (SameLetters(name, key.name)) {
            return key.code;
        }
    }
    return -1;
}

bool ParseScript(const std::string& name, const std::string& text, Script& script,
                 std::string& error) {
    script = Script{};
    script.name = name;
    std::size_t start = 0;
    int lineNumber = 0;
    while (start < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string message;
        if (line.size() > kMaxLineLength) {
            message = "line longer than " + std::to_string(kMaxLineLength) + " characters";
        } else if (HasBinaryBytes(line)) {
            message = "binary data in the script";
        } else {
            const std::vector<std::string> words = Words(line);
            if (words.empty()) {
                continue;
            }
            Command command;
            command.line = lineNumber;
            if (ParseCommand(words, command, message)) {
                script.commands.push_back(command);
                continue;
            }
        }
        error = "vormika-replay: " + name + ":" + std::to_string(lineNumber) + ": " + message;
        return false;
    }
    return true;
}

bool LoadScript(const std::string& path, Script& script, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::string text;
    bool ok = file != nullptr;
    if (ok) {
        char chunk[65536];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            text.append(chunk, got);
        }
        ok = std::ferror(file) == 0;
    }
    const int reason = errno;
    if (file != nullptr) {
        std::fclose(file);
    }
    if (!ok) {
        error = "vormika-replay: " + path + ": cannot read the script: " + std::strerror(reason);
        return false;
    }
    return ParseScript(path, text, script, error);
}

} // namespace replay
