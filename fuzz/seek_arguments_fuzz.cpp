// Fuzzes vormika-seek's command line: the bytes, split at NULs, are the arguments. Any
// arguments are either refused with a reason, or give options the tool can run.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "seek/arguments.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// What the tool relies on once the command line has been accepted.
void CheckAccepted(const seektool::Options& o) {
    if (o.help) {
        return;
    }
    Require(o.steps >= 1 && o.steps <= seektool::kVectors);
    Require(o.method >= 0 && o.method <= 3);
    for (const std::uint32_t ring : o.start) {
        Require(ring <= 7);
    }
    // Exactly one thing to do.
    Require(static_cast<int>(o.summary) + static_cast<int>(o.haveStart) + static_cast<int>(o.all) == 1);
    Require(!o.trace || (o.haveStart && o.method != 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words(1, "vormika-seek");
    words.emplace_back();
    for (std::size_t i = 0; i < size && words.size() < 64; ++i) {
        if (data[i] == 0) {
            words.emplace_back();
        } else {
            words.back() += static_cast<char>(data[i]);
        }
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    argv.push_back(nullptr);

    seektool::Options options;
    std::string error;
    if (seektool::ParseArguments(static_cast<int>(words.size()), argv.data(), options, error)) {
        CheckAccepted(options);
    } else {
        Require(!error.empty());
    }
    return 0;
}
