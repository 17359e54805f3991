// A test that runs the built programs in a scratch directory of its own: write input files,
// run a shell command there, read back its exit status, stdout and stderr.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vormika-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + dir + "'").c_str()); }

    void Write(const std::string& name, const std::string& text) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text;
    }
    std::string Read(const std::string& name) { return Slurp(dir + "/" + name); }

    static std::string Slurp(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    // Runs a shell command in the scratch directory; its exit status, with stdout and
    // stderr kept in `out` and `err`.
    int Shell(const std::string& command) {
        const int status =
            std::system(("cd '" + dir + "' && " + command + " >out.txt 2>err.txt").c_str());
        out = Read("out.txt");
        err = Read("err.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string dir;
    std::string out;
    std::string err;
};
