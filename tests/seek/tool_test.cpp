// The vormika-seek tool as a user runs it: output lines, the summary, and argument errors.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs the tool with the given arguments; `streams` picks what is captured ("2>&1" etc.).
ToolRun RunTool(const std::string& args, const std::string& streams = "2>/dev/null") {
    const std::string command = std::string(VORMIKA_BINARY_DIR "/vormika-seek ") + args + " " + streams;
    ToolRun run{-1, {}};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    const int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

int CountLines(const std::string& text) {
    int lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

TEST(SeekTool, AllStartsGiveOneLinePerStartAndMethod) {
    const ToolRun run = RunTool("--all");
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(CountLines(run.out), 12288);
    EXPECT_EQ(run.out.rfind("0 0 0 0 deep 0x000 0 0\n", 0), 0u);
    EXPECT_NE(run.out.find("\n2 5 0 7 deep 0x1D5 6 469\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n0 3 3 5 astar none - -\n"), std::string::npos);
}

TEST(SeekTool, OneStartAndMethod) {
    const ToolRun run = RunTool("--start 1,3,5,7 --method breadth");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "1 3 5 7 breadth 0x530 8 418\n");
    // Too few steps to meet a solution.
    EXPECT_EQ(RunTool("--start=2,5,0,7 --method=astar --steps 100").out, "2 5 0 7 astar none - -\n");
}

TEST(SeekTool, TraceShowsEveryStep) {
    const ToolRun run = RunTool("--start 6,6,6,1 --method breadth --trace --steps 7");
    ASSERT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "0 0x000 - - -");
    for (int i = 0; i < 5; ++i) std::getline(lines, line);
    EXPECT_EQ(line, "5 0xA00 3 0xA00 3");
    std::getline(lines, line);
    EXPECT_EQ(line, "6 0xC00 - 0xA00 3");
    std::getline(lines, line);
    EXPECT_EQ(line, "6 6 6 1 breadth 0xA00 3 5");
}

TEST(SeekTool, SummaryCountsEachMethod) {
    const ToolRun run = RunTool("--summary");
    ASSERT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    std::string header;
    std::getline(lines, header);
    const struct {
        const char* name;
        int cheapest, dearer, none;
    } rows[] = {{"deep", 4096, 0, 0}, {"breadth", 4096, 0, 0}, {"astar", 3888, 128, 80}};
    for (const auto& row : rows) {
        std::string name;
        int cheapest = -1, dearer = -1, none = -1;
        lines >> name >> cheapest >> dearer >> none;
        lines.ignore(1000, '\n');
        EXPECT_EQ(name, row.name);
        EXPECT_EQ(cheapest, row.cheapest);
        EXPECT_EQ(dearer, row.dearer);
        EXPECT_EQ(none, row.none);
    }
}

TEST(SeekTool, HelpExitsCleanly) {
    const ToolRun run = RunTool("--help");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("--summary"), std::string::npos);
}

TEST(SeekTool, BadArgumentsFailWithOneLineOnStderr) {
    const char* bad[] = {
        "--frobnicate",
        "--start",
        "--start 1,2,3",
        "--start 1,2,3,8",
        "--start 1,2,x,3",
        "--start 1,2,3,4 --steps 0",
        "--start 1,2,3,4 --steps 4097",
        "--start 1,2,3,4 --method sideways",
        "--start 1,2,3,4 --all",
        "--all --trace --method deep",
        "--start 1,2,3,4 --trace",
        "",
    };
    for (const char* args : bad) {
        // Stderr only: stdout is thrown away.
        const ToolRun run = RunTool(args, "2>&1 >/dev/null");
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(CountLines(run.out), 1) << args << ": " << run.out;
    }
}

} // namespace
