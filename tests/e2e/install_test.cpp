// Installing the build: the three programs, a valid desktop entry that starts an installed
// program, and a manual page that, like --help, names every key, mouse action, button and
// option.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kBin = VORMIKA_BINARY_DIR;
const std::string kSource = VORMIKA_SOURCE_DIR;

std::string Slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Executable(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

bool Have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) == 0;
}

// The manual page's source as plain lines: request names dropped, their words kept, font
// changes and escapes resolved.
std::string ManText(const std::string& source) {
    std::istringstream lines(source);
    std::string line;
    std::string text;
    while (std::getline(lines, line)) {
        if (line.rfind(".\\\"", 0) == 0) {
            continue;
        }
        if (!line.empty() && line[0] == '.') {
            const std::size_t space = line.find(' ');
            line = space == std::string::npos ? "" : line.substr(space + 1);
        }
        std::string plain;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == 'f') {
                i += 2;  // \fB, \fR, ...
            } else if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '-') {
                plain += '-';
                ++i;
            } else if (line[i] != '"') {
                plain += line[i];
            }
        }
        text += plain + "\n";
    }
    return text;
}

// Whether some line, leading blanks aside, is `item` alone or `item` followed by a column gap
// of two blanks.
bool StartsALine(const std::string& text, const std::string& item) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t first = line.find_first_not_of(' ');
        if (first == std::string::npos || line.compare(first, item.size(), item) != 0) {
            continue;
        }
        const std::string rest = line.substr(first + item.size());
        if (rest.find_first_not_of(' ') == std::string::npos || rest.rfind("  ", 0) == 0) {
            return true;
        }
    }
    return false;
}

// Everything a user can press, click or pass.
const std::vector<std::string> kEveryInput = {
    "--windowed", "--help", "--version",
    "Escape", "1", "2", "3", "4", "Q",
    "move", "left button",
    "SPIN DISC", "bar and two left arrows", "one right arrow", "right arrow and bar",
    "two right arrows", "two right arrows and bar",
    "DEEP SEARCH", "BREADTH SEARCH", "A-STAR SEARCH",
    "SHOW START", "SHOW CURRENT SEEK", "SHOW BEST FOUND",
};

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vormika-install-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        prefix = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + prefix + "'").c_str()); }

    // Runs a shell command; its exit status, with stdout and stderr together in `out`.
    int Run(const std::string& command) {
        const std::string full = command + " >'" + prefix + "/out.txt' 2>&1";
        const int status = std::system(full.c_str());
        out = Slurp(prefix + "/out.txt");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string prefix;
    std::string out;
};

TEST_F(Install, PutsTheProgramsTheDesktopEntryAndTheManualPageUnderThePrefix) {
    ASSERT_EQ(Run("'" VORMIKA_CMAKE_COMMAND "' --install '" + kBin + "' --prefix '" + prefix +
                  "/usr'"),
              0)
        << out;
    const std::string usr = prefix + "/usr";
    for (const char* program : {"vormika", "vormika-seek", "vormika-replay"}) {
        EXPECT_TRUE(Executable(usr + "/bin/" + program)) << program;
    }
    EXPECT_EQ(Run("'" + usr + "/bin/vormika' --version"), 0);
    EXPECT_EQ(out, "vormika 1.0.0\n");
    EXPECT_EQ(Run("'" + usr + "/bin/vormika-seek' --start 2,5,0,7 --method deep"), 0);
    EXPECT_EQ(out, "2 5 0 7 deep 0x1D5 6 469\n");

    const std::string desktop = usr + "/share/applications/vormika.desktop";
    const std::string entry = Slurp(desktop);
    ASSERT_FALSE(entry.empty());
    // The entry starts a program that was installed.
    const std::size_t exec = entry.find("\nExec=");
    ASSERT_NE(exec, std::string::npos);
    const std::string command = entry.substr(exec + 6, entry.find('\n', exec + 1) - exec - 6);
    EXPECT_TRUE(Executable(usr + "/bin/" + command.substr(0, command.find(' ')))) << command;
    if (Have("desktop-file-validate")) {
        EXPECT_EQ(Run("desktop-file-validate '" + desktop + "'"), 0) << out;
        EXPECT_EQ(out, "");
    }

    const std::string page = usr + "/share/man/man6/vormika.6";
    ASSERT_FALSE(Slurp(page).empty());
    if (Have("groff")) {
        EXPECT_EQ(Run("groff -man -ww -z -Tutf8 '" + page + "'"), 0);
        EXPECT_EQ(out, "") << "the manual page draws warnings";
    }
}

TEST(Documentation, TheManualPageAndHelpNameEveryKeyMouseActionButtonAndOption) {
    const std::string page = ManText(Slurp(kSource + "/data/vormika.6"));
    ASSERT_FALSE(page.empty());
    std::string help;
    std::FILE* pipe = popen(("'" + kBin + "/vormika' --help").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char chunk[512];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        help.append(chunk, n);
    }
    ASSERT_EQ(pclose(pipe), 0);
    for (const std::string& input : kEveryInput) {
        EXPECT_TRUE(StartsALine(page, input)) << "manual page: " << input;
        EXPECT_TRUE(StartsALine(help, input)) << "--help: " << input;
    }
}

} // namespace
