// The program started where no window can open says so in one line and ends
// with exit status 1; where a display or a platform is named it starts.
#include <gtest/gtest.h>

#include <QDir>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gui/ProgramRun.h"
#include "support/ChildProcess.h"

namespace qx::test {
namespace {

// A local display number no X server listens on.
std::string DeadDisplay() {
    for (int n = 987;; ++n)
        if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)))
            return ":" + std::to_string(n);
}

TEST(StartWithoutDisplay, OneLineAndExitOneUnlessAPlatformIsNamed) {
    const QString program = QString::fromStdString(ProgramPath("gui/quorvexi"));
    if (program.isEmpty()) GTEST_SKIP() << "the quorvexi program is not built";
    const std::string dead = DeadDisplay();
    const struct {
        const char* what;
        QStringList args;
        const char* variable;  // set, with its value; null: none
        const char* value;
        int exit;
    } cases[] = {
        {"no display", {}, nullptr, nullptr, 1},
        {"empty DISPLAY", {}, "DISPLAY", "", 1},
        {"empty WAYLAND_DISPLAY", {"--simulate"}, "WAYLAND_DISPLAY", "", 1},
        {"no X server there", {}, "DISPLAY", dead.c_str(), 1},
        // A named platform goes to Qt: the command line is read, and refused.
        {"QT_QPA_PLATFORM", {"--no-such-option"}, "QT_QPA_PLATFORM", "offscreen", 2},
        {"-platform", {"-platform", "offscreen", "--no-such-option"}, nullptr, nullptr, 2},
        // One dash is an option too, never a file name to open.
        {"-h", {"-h"}, nullptr, nullptr, 0},
        {"-x", {"-x"}, "QT_QPA_PLATFORM", "offscreen", 2},
    };
    for (const auto& c : cases) {
        QProcessEnvironment env;  // exactly this: nothing of the test's own
        env.insert(QStringLiteral("HOME"), QDir::tempPath());
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        if (c.variable != nullptr) env.insert(c.variable, c.value);
        const ProgramRun run = RunProgram(program, c.args, env);
        const std::string err = run.err.toStdString();
        EXPECT_EQ(run.exitCode, c.exit) << c.what << ": " << err;
        if (c.exit == 1) {
            EXPECT_EQ(err.rfind("quorvexi: ", 0), 0u) << c.what << ": " << err;
            EXPECT_NE(err.find("DISPLAY"), std::string::npos) << c.what;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
        }
    }
}

// The options --help lists are those quorvexi(1) describes, and no others.
TEST(StartWithoutDisplay, HelpListsTheOptionsOfTheManPage) {
    const QString program = QString::fromStdString(ProgramPath("gui/quorvexi"));
    if (program.isEmpty()) GTEST_SKIP() << "the quorvexi program is not built";
    const ProgramRun run = RunProgram(program, {QStringLiteral("--help")});
    const std::string help = run.out.toStdString();
    ASSERT_EQ(run.exitCode, 0) << help;

    std::ifstream in(std::string(QX_SOURCE_DIR) + "/packaging/man/quorvexi.1");
    std::stringstream roff;
    roff << in.rdbuf();
    std::string man = std::regex_replace(roff.str(), std::regex(R"(\\f[BIRP])"), "");
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    // Options as the man page's OPTIONS section and the help's list begin them.
    const auto options = [](const std::string& text, const std::regex& line) {
        std::set<std::string> out;
        for (auto it = std::sregex_iterator(text.begin(), text.end(), line);
             it != std::sregex_iterator(); ++it)
            out.insert((*it)[1].str());
        return out;
    };
    const std::string section = man.substr(man.find(".SH OPTIONS"));
    const std::set<std::string> documented = options(section.substr(0, section.find(".SH ", 4)),
                                                     std::regex(R"(\n\.B[IR]? (--?[a-z-]+))"));
    const std::set<std::string> listed = options(help, std::regex(R"(\n  (--?[a-z-]+))"));
    EXPECT_FALSE(listed.empty()) << help;
    EXPECT_EQ(listed, documented);
}

}  // namespace
}  // namespace qx::test
