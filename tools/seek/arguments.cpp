// vormika-seek's command line: options, their values and which go together.
#include "seek/arguments.h"

namespace seektool {
namespace {

constexpr std::int32_t kPositions = 8;

// Records why the command line is refused; always false, for `return Refuse(...)`.
bool Refuse(std::string& error, const std::string& message) {
    error = message;
    return false;
}

// A whole decimal number within [lo, hi]; nothing else in the text.
bool ParseNumber(const std::string& text, std::int32_t lo, std::int32_t hi, std::int32_t& out) {
    if (text.empty() || text.size() > 6) return false;
    std::int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi) return false;
    out = value;
    return true;
}

bool ParseStart(const std::string& text, RingSet& out) {
    std::size_t from = 0;
    for (std::uint32_t ring = 0; ring < 4; ++ring) {
        const std::size_t comma = text.find(',', from);
        const bool last = ring == 3;
        if (last != (comma == std::string::npos)) return false;
        const std::string part = text.substr(from, last ? std::string::npos : comma - from);
        std::int32_t p = 0;
        if (!ParseNumber(part, 0, kPositions - 1, p)) return false;
        out[ring] = static_cast<std::uint32_t>(p);
        from = comma + 1;
    }
    return true;
}

bool ParseMethod(const std::string& text, std::int32_t& out) {
    if (text == "all") {
        out = 0;
        return true;
    }
    for (SeekMethod m : kMethods) {
        if (text == MethodName(m)) {
            out = m;
            return true;
        }
    }
    return false;
}

// Applies one option that takes a value.
bool ApplyValue(const std::string& name, const std::string& value, Options& o, std::string& error) {
    if (name == "--start") {
        if (o.haveStart) return Refuse(error, "--start given twice");
        if (!ParseStart(value, o.start))
            return Refuse(error, "--start needs four positions 0 to 7 as A,B,C,D, not '" + value + "'");
        o.haveStart = true;
    } else if (name == "--method") {
        if (o.haveMethod) return Refuse(error, "--method given twice");
        if (!ParseMethod(value, o.method))
            return Refuse(error, "--method must be deep, breadth, astar or all, not '" + value + "'");
        o.haveMethod = true;
    } else {
        if (o.haveSteps) return Refuse(error, "--steps given twice");
        if (!ParseNumber(value, 1, kVectors, o.steps))
            return Refuse(error, "--steps must be a number from 1 to 4096, not '" + value + "'");
        o.haveSteps = true;
    }
    return true;
}

bool ApplyFlag(const std::string& name, Options& o, std::string& error) {
    bool* flag = nullptr;
    if (name == "--all") flag = &o.all;
    else if (name == "--trace") flag = &o.trace;
    else if (name == "--summary") flag = &o.summary;
    else if (name == "--help") flag = &o.help;
    else return Refuse(error, "unknown option '" + name + "'");
    if (*flag) return Refuse(error, name + " given twice");
    *flag = true;
    return true;
}

bool CheckCombination(const Options& o, std::string& error) {
    if (o.haveStart && o.all) return Refuse(error, "--start and --all exclude each other");
    if (o.summary && (o.haveStart || o.all || o.trace))
        return Refuse(error, "--summary runs every start itself; it takes no --start, --all or --trace");
    if (!o.summary && !o.haveStart && !o.all) return Refuse(error, "no start position: give --start or --all");
    if (o.trace && (!o.haveStart || o.method == 0))
        return Refuse(error, "--trace needs exactly one start (--start) and one method (--method)");
    return true;
}

} // namespace

const SeekMethod kMethods[3] = {Deep, Breadth, AStar};

const char* MethodName(SeekMethod m) {
    switch (m) {
    case Deep: return "deep";
    case Breadth: return "breadth";
    case AStar: return "astar";
    }
    return "?";
}

bool ParseArguments(int argc, const char* const* argv, Options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        bool haveValue = false;
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
            haveValue = true;
        }
        const bool takesValue = arg == "--start" || arg == "--method" || arg == "--steps";
        if (!takesValue) {
            if (haveValue) return Refuse(error, arg + " takes no value");
            if (!ApplyFlag(arg, o, error)) return false;
            if (o.help) return true;
            continue;
        }
        if (!haveValue) {
            if (i + 1 >= argc) return Refuse(error, arg + " needs a value");
            value = argv[++i];
        }
        if (!ApplyValue(arg, value, o, error)) return false;
    }
    return o.help || CheckCombination(o, error);
}

} // namespace seektool
