// A random session for the soak and the invariants checked after every frame.
#include "soak_session.h"

#include <cmath>
#include <cstdio>
#include <random>

#include "app/shell.h"
#include "platform/dinput8.h"
#include "seek/seek.h"
#include "state/app_state.h"
#include "ui/controls.h"

namespace soak {
namespace {

struct KeyName {
    const char* name;
    int code;
};

#define SOAK_KEY_NAME(name, value) {#name, value},
constexpr KeyName kKeyNames[] = {VORMIKA_DIK_CODES(SOAK_KEY_NAME)};
#undef SOAK_KEY_NAME

// A rectangle the pointer is sent into now and then, edges included: the controls.
struct Target {
    int x, y, width, height;
};
constexpr Target kTargets[] = {
    {814, 139, 209, 30},                                           // SPIN DISC
    {100, 400, 100, 30}, {200, 400, 50, 30}, {250, 400, 50, 30},   // the row under the view
    {300, 400, 50, 30},  {350, 400, 50, 30}, {400, 400, 100, 30},
    {610, 20, 209, 20},  {610, 40, 209, 20}, {610, 60, 209, 20},   // seek methods
    {610, 125, 199, 20}, {610, 145, 199, 20}, {610, 165, 199, 20}, // views
};

// One of the keys the program acts on, held for a while or tapped.
struct SeekKey {
    const char* name;
    double pressChance; // per frame, while up
    std::uint32_t left; // frames it stays down; 0 while up
};

class Generator {
public:
    Generator(std::uint64_t seed, std::uint32_t frames) : random_(seed), frames_(frames) {
        session_.seed = seed;
        session_.frames = frames;
    }

    Session Run();

private:
    double Chance() { return std::uniform_real_distribution<double>(0.0, 1.0)(random_); }
    std::int64_t Between(std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random_);
    }
    void Line(const char* format, long long a = 0, long long b = 0);
    void Line(const char* format, const char* name, const char* state);

    void Keys();
    void OtherKey();
    void Mouse();
    void Pointer();
    void Buttons();
    void Clock();
    std::uint32_t Frames(std::uint32_t left);

    std::mt19937_64 random_;
    std::uint32_t frames_;
    Session session_;
    SeekKey keys_[5] = {{"1", 0.003, 0}, {"2", 0.02, 0}, {"3", 0.01, 0}, {"4", 0.005, 0},
                        {"Q", 0.004, 0}};
    bool buttons_[4] = {};
    std::vector<const char*> keysToRelease_; // other keys left down for a while
};

void Generator::Line(const char* format, long long a, long long b) {
    char line[96];
    std::snprintf(line, sizeof line, format, a, b);
    session_.text += line;
    session_.text += '\n';
}

void Generator::Line(const char* format, const char* name, const char* state) {
    char line[96];
    std::snprintf(line, sizeof line, format, name, state);
    session_.text += line;
    session_.text += '\n';
}

void Generator::Keys() {
    for (SeekKey& key : keys_) {
        if (key.left > 0) {
            if (--key.left == 0) {
                Line("key %s %s", key.name, "up");
            }
            continue;
        }
        if (Chance() >= key.pressChance) {
            continue;
        }
        Line("key %s %s", key.name, "down");
        const double kind = Chance();
        if (kind < 0.1) {
            // Down and up between two polls: only the messages show it.
            Line("key %s %s", key.name, "up");
        } else {
            key.left = kind < 0.55 ? 1 : static_cast<std::uint32_t>(Between(2, 150));
        }
    }
}

void Generator::OtherKey() {
    // Any key but Escape, which would end the program.
    const KeyName* key = &kKeyNames[Between(0, std::size(kKeyNames) - 1)];
    while (key->code == DIK_ESCAPE) {
        key = &kKeyNames[Between(0, std::size(kKeyNames) - 1)];
    }
    Line("key %s %s", key->name, "down");
    if (Chance() < 0.5) {
        Line("key %s %s", key->name, "up");
    } else {
        keysToRelease_.push_back(key->name);
    }
}

void Generator::Mouse() {
    const double kind = Chance();
    if (kind < 0.85) {
        Line("mouse %lld %lld", Between(-16, 16), Between(-16, 16));
    } else if (kind < 0.95) {
        Line("mouse %lld %lld", Between(-200000, 200000), Between(-200000, 200000));
    } else {
        // Counts of any size, the extremes of 32 bits included.
        const long long extremes[] = {INT32_MIN, INT32_MAX, -(1LL << 30), 1LL << 30, 0};
        Line("mouse %lld %lld", extremes[Between(0, 4)], extremes[Between(0, 4)]);
    }
}

void Generator::Pointer() {
    if (Chance() < 0.6) {
        const Target& t = kTargets[Between(0, std::size(kTargets) - 1)];
        Line("pointer %lld %lld", t.x + Between(0, t.width), t.y + Between(0, t.height));
    } else {
        Line("pointer %lld %lld", Between(-60, 1100), Between(-60, 830));
    }
}

void Generator::Buttons() {
    const double pressChance[4] = {0.04, 0.015, 0.003, 0.003};
    for (int b = 0; b < 4; ++b) {
        const bool flip = buttons_[b] ? Chance() < 0.12 : Chance() < pressChance[b];
        if (flip) {
            buttons_[b] = !buttons_[b];
            const char* names[4] = {"0", "1", "2", "3"};
            Line("button %s %s", names[b], buttons_[b] ? "down" : "up");
        }
    }
}

void Generator::Clock() {
    const double kind = Chance();
    if (kind < 0.4) {
        Line("tick %lld", Between(0, UINT32_MAX));
    } else if (kind < 0.8) {
        // Just short of the wrap of the tick count.
        Line("tick %lld", UINT32_MAX - Between(0, 3000));
    } else {
        Line("tick %lld", Between(0, 3000));
    }
}

std::uint32_t Generator::Frames(std::uint32_t left) {
    std::uint32_t n = 1;
    if (Chance() < 0.1) {
        n = static_cast<std::uint32_t>(Between(2, 8));
    }
    n = n < left ? n : left;
    Line("frames %lld", n);
    return n;
}

Session Generator::Run() {
    const double start = Chance();
    session_.tick0 = start < 0.4   ? 0u
                     : start < 0.7 ? static_cast<std::uint32_t>(UINT32_MAX - Between(0, 200000))
                                   : static_cast<std::uint32_t>(Between(0, UINT32_MAX));
    const std::uint32_t frameTimes[] = {16, 16, 16, 0, 1, 17, 33, 250, 1000};
    session_.frameMs = frameTimes[Between(0, std::size(frameTimes) - 1)];

    std::uint32_t done = 0;
    while (done < frames_) {
        Keys();
        if (Chance() < 0.01) {
            OtherKey();
        } else if (!keysToRelease_.empty() && Chance() < 0.2) {
            Line("key %s %s", keysToRelease_.back(), "up");
            keysToRelease_.pop_back();
        }
        if (Chance() < 0.3) {
            Mouse();
        }
        if (Chance() < 0.08) {
            Pointer();
            // Often a click right there, so that the controls are hit and not just passed.
            if (!buttons_[0] && Chance() < 0.5) {
                buttons_[0] = true;
                Line("button %s %s", "0", "down");
            }
        }
        Buttons();
        if (Chance() < 0.006) {
            Clock();
        }
        done += Frames(frames_ - done);
        session_.cutAt.push_back(session_.text.size());
        session_.framesAt.push_back(done);
    }
    return session_;
}

bool Checked(const OptionButton* option) { return option != nullptr && option->state != 0; }

// Which of three options are checked, as a count and the 1-based place of the last one.
void CountChecked(const OptionButton* a, const OptionButton* b, const OptionButton* c,
                  int& count, std::uint32_t& which) {
    const OptionButton* group[3] = {a, b, c};
    count = 0;
    which = 0;
    for (std::uint32_t i = 0; i < 3; ++i) {
        if (Checked(group[i])) {
            ++count;
            which = i + 1;
        }
    }
}

std::string Text(const char* format, long long a = 0, long long b = 0, long long c = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

std::string CheckSeek() {
    const std::int32_t steps = app.stepCount;
    const std::int32_t cost = app.bestCost;
    if (steps < 0 || steps > 4096) {
        return Text("stepCount %lld is outside 0..4096", steps);
    }
    if (app.seekMethod < Deep || app.seekMethod > AStar) {
        return Text("seekMethod %lld", app.seekMethod);
    }
    for (const std::uint32_t ring : app.startRings) {
        if (ring > 7) {
            return Text("a start ring stands at %lld", ring);
        }
    }
    if ((cost == 255) != (steps == 0)) {
        return Text("bestCost %lld with stepCount %lld", cost, steps);
    }
    if (app.bestVector > 0xFFF) {
        return Text("bestVector 0x%llX has more than 12 bits", app.bestVector);
    }
    RingSet rings = {};
    TurnList turns = {};
    const std::int32_t actual = EvaluateVector(app.bestVector, rings, turns);
    if (cost != 254 && cost != 255 && cost != actual) {
        return Text("bestCost %lld but bestVector 0x%llX costs %lld", cost, app.bestVector, actual);
    }
    if (steps == 0 && (app.bestVector != 0 || app.currentVector != 0 ||
                       app.bestTurns != TurnList{} || app.currentTurns != TurnList{})) {
        return "a seek not started holds turns";
    }
    if (cost <= 200 && static_cast<std::int64_t>(app.foundAfter) >= steps) {
        return Text("foundAfter %lld is not below stepCount %lld", app.foundAfter, steps);
    }
    // A spin comes after its reset, so until the next step the best record still shows the
    // start before the spin; from the first step on it is the best vector's.
    if (steps > 0 && (rings != app.bestRings || turns != app.bestTurns)) {
        return Text("bestRings/bestTurns do not match bestVector 0x%llX", app.bestVector);
    }
    return "";
}

std::string CheckInterface() {
    int count = 0;
    std::uint32_t which = 0;
    CountChecked(app.deepOption, app.breadthOption, app.aStarOption, count, which);
    if (count != 1 || which != app.seekMethod) {
        return Text("%lld seek-method options checked (last %lld) with seekMethod %lld", count,
                    which, app.seekMethod);
    }
    CountChecked(app.showStartOption, app.showCurrentOption, app.showBestOption, count, which);
    if (count != 1 || static_cast<std::int32_t>(which) != app.viewSelection) {
        return Text("%lld view options checked (last %lld) with viewSelection %lld", count,
                    which, app.viewSelection);
    }
    if (app.overlayCapacity != 2500 || app.overlayVertexCount > app.overlayCapacity ||
        app.backVertexCount + app.lineVertexCount + app.frontVertexCount != app.overlayVertexCount) {
        return Text("overlay of %lld vertices in %lld slots, groups summing to %lld",
                    app.overlayVertexCount, app.overlayCapacity,
                    app.backVertexCount + app.lineVertexCount + app.frontVertexCount);
    }
    if (!std::isfinite(app.mouseX) || !std::isfinite(app.mouseY) || GetCursorX() < 0 ||
        GetCursorX() > 1023 || GetCursorY() < 0 || GetCursorY() > 767) {
        return Text("cursor at (%lld, %lld)", GetCursorX(), GetCursorY());
    }
    if (app.mouseButtons > 3) {
        return Text("mouseButtons %lld", app.mouseButtons);
    }
    if (app.eventList.Size() != 0) {
        return Text("%lld events left after draining", app.eventList.Size());
    }
    return "";
}

} // namespace

Session Generate(std::uint64_t seed, std::uint32_t frames) { return Generator(seed, frames).Run(); }

std::string ScriptThrough(const Session& session, std::uint32_t frame) {
    for (std::size_t i = 0; i < session.framesAt.size(); ++i) {
        if (session.framesAt[i] >= frame) {
            return session.text.substr(0, session.cutAt[i]);
        }
    }
    return session.text;
}

std::string InvariantChecker::Check() {
    std::string problem = CheckSeek();
    if (problem.empty()) {
        problem = CheckInterface();
    }
    // Between resets the best cost only falls. A spin or a change of method always resets,
    // and a reset shows as fewer steps; with the same start, method and at least as many
    // steps the best can only be as good or better, whether or not a reset came between.
    const bool sameSeek = app.startRings[0] == startRings_[0] && app.startRings[1] == startRings_[1] &&
                          app.startRings[2] == startRings_[2] && app.startRings[3] == startRings_[3] &&
                          app.seekMethod == seekMethod_;
    if (problem.empty() && seen_ && sameSeek && app.stepCount >= stepCount_ && app.bestCost > bestCost_) {
        problem = Text("bestCost rose from %lld to %lld (stepCount %lld)", bestCost_, app.bestCost,
                       app.stepCount);
    }
    seen_ = true;
    methodsSeen_ |= 1u << (app.seekMethod & 7u);
    viewsSeen_ |= 1u << (static_cast<std::uint32_t>(app.viewSelection) & 7u);
    finished_ += app.stepCount == 4096 ? 1 : 0;
    solved_ += app.bestCost <= 200 ? 1 : 0;
    stepCount_ = app.stepCount;
    bestCost_ = app.bestCost;
    for (int i = 0; i < 4; ++i) {
        startRings_[i] = app.startRings[i];
    }
    seekMethod_ = app.seekMethod;
    return problem;
}

std::string InvariantChecker::Coverage() const {
    return Text("frames with a solution %lld, with the seek finished %lld; methods seen 0x%llX",
                solved_, finished_, methodsSeen_) +
           Text(", views seen 0x%llX", viewsSeen_);
}

} // namespace soak
