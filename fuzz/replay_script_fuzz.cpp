// Fuzzes the replay script reader: any bytes are either refused with a message naming the
// line, or become commands whose every field is in range, and which read back the same
// when written out again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/dinput8.h"
#include "replay/script.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string KeyNameOf(std::int64_t code) {
#define FUZZ_KEY_NAME(name, value) \
    if (code == (value)) return #name;
    VORMIKA_DIK_CODES(FUZZ_KEY_NAME)
#undef FUZZ_KEY_NAME
    return "?";
}

// Checks one command's fields against what its verb allows.
void CheckRanges(const replay::Command& c) {
    using replay::Op;
    switch (c.op) {
    case Op::Frames:
    case Op::Tick:
        Require(c.a >= 0 && c.a <= UINT32_MAX);
        break;
    case Op::Key:
        Require(c.a >= 0 && c.a <= 255 && KeyNameOf(c.a) != "?");
        break;
    case Op::Mouse:
    case Op::Pointer:
        Require(c.a >= INT32_MIN && c.a <= INT32_MAX && c.b >= INT32_MIN && c.b <= INT32_MAX);
        break;
    case Op::Button:
        Require(c.a >= 0 && c.a <= 3);
        break;
    case Op::Close:
        break;
    case Op::Screenshot:
    case Op::State:
        // A word of printable bytes: no blanks, no comment mark, no control bytes.
        Require(!c.path.empty());
        for (const char ch : c.path) {
            const auto byte = static_cast<unsigned char>(ch);
            Require(byte > 0x20 && byte != 0x7F && ch != '#');
        }
        break;
    }
}

// Writes a command back as a script line.
std::string LineOf(const replay::Command& c) {
    using replay::Op;
    const std::string a = std::to_string(c.a);
    const std::string b = std::to_string(c.b);
    const char* state = c.down ? " down" : " up";
    switch (c.op) {
    case Op::Frames: return "frames " + a;
    case Op::Key: return "key " + KeyNameOf(c.a) + state;
    case Op::Mouse: return "mouse " + a + " " + b;
    case Op::Pointer: return "pointer " + a + " " + b;
    case Op::Button: return "button " + a + state;
    case Op::Tick: return "tick " + a;
    case Op::Close: return "close";
    case Op::Screenshot: return "screenshot " + c.path;
    case Op::State: return "state " + c.path;
    }
    return "";
}

bool Same(const replay::Command& x, const replay::Command& y) {
    return x.op == y.op && x.a == y.a && x.b == y.b && x.path == y.path &&
           (x.op != replay::Op::Key && x.op != replay::Op::Button ? true : x.down == y.down);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    replay::Script script;
    std::string error;
    if (!replay::ParseScript("fuzz", text, script, error)) {
        Require(error.rfind("vormika-replay: fuzz:", 0) == 0);
        return 0;
    }
    std::string again;
    int previousLine = 0;
    for (const replay::Command& c : script.commands) {
        Require(c.line > previousLine);
        previousLine = c.line;
        CheckRanges(c);
        again += LineOf(c) + "\n";
    }
    replay::Script reread;
    Require(replay::ParseScript("again", again, reread, error));
    Require(reread.commands.size() == script.commands.size());
    for (std::size_t i = 0; i < script.commands.size(); ++i) {
        Require(Same(script.commands[i], reread.commands[i]));
    }
    return 0;
}
