// The program started where no window can open says so in one line and ends
// with exit status 1; where a display or a platform is named it starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace qx::test {
namespace {

namespace fs = std::filesystem;

std::string ProgramPath() {
    const char* build = std::getenv("QX_BUILD_DIR");
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    for (const fs::path& dir :
         {fs::path(build ? build : ""), self.parent_path().parent_path().parent_path()}) {
        const fs::path p = dir / "src" / "gui" / "quorvexi";
        if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p;
    }
    return {};
}

// A local display number no X server listens on.
std::string DeadDisplay() {
    for (int n = 987;; ++n)
        if (!fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) return ":" + std::to_string(n);
}

struct Outcome {
    int exit = -1;
    std::string err;
};

// Runs the program with exactly env as its environment.
Outcome RunProgram(std::vector<std::string> args, std::vector<std::string> env) {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return {};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(pipeFd[0]);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(pipeFd[1]);
    Outcome out;
    char buffer[256];
    for (ssize_t n; (n = read(pipeFd[0], buffer, sizeof buffer)) > 0;)
        out.err.append(buffer, static_cast<std::size_t>(n));
    close(pipeFd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    out.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

TEST(StartWithoutDisplay, OneLineAndExitOneUnlessAPlatformIsNamed) {
    const std::string program = ProgramPath();
    if (program.empty()) GTEST_SKIP() << "the quorvexi program is not built";
    const std::string home = "HOME=" + fs::temp_directory_path().string();
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::vector<std::string> env;
        int exit;
    } cases[] = {
        {"no display", {}, {}, 1},
        {"empty DISPLAY", {}, {"DISPLAY="}, 1},
        {"empty WAYLAND_DISPLAY", {"--simulate"}, {"WAYLAND_DISPLAY="}, 1},
        {"no X server there", {}, {"DISPLAY=" + DeadDisplay()}, 1},
        // A named platform goes to Qt: the command line is read, and refused.
        {"QT_QPA_PLATFORM", {"--no-such-option"}, {"QT_QPA_PLATFORM=offscreen"}, 2},
        {"-platform", {"-platform", "offscreen", "--no-such-option"}, {}, 2},
        // One dash is an option too, never a file name to open.
        {"-h", {"-h"}, {}, 0},
        {"-x", {"-x"}, {"QT_QPA_PLATFORM=offscreen"}, 2},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{program};
        args.insert(args.end(), c.args.begin(), c.args.end());
        std::vector<std::string> env{home, "PATH=/usr/bin:/bin"};
        env.insert(env.end(), c.env.begin(), c.env.end());
        const Outcome o = RunProgram(args, env);
        EXPECT_EQ(o.exit, c.exit) << c.what << ": " << o.err;
        if (c.exit == 1) {
            EXPECT_EQ(o.err.rfind("quorvexi: ", 0), 0u) << c.what << ": " << o.err;
            EXPECT_NE(o.err.find("DISPLAY"), std::string::npos) << c.what;
            EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << c.what << ": " << o.err;
        }
    }
}

// The options --help lists are those quorvexi(1) describes, and no others.
TEST(StartWithoutDisplay, HelpListsTheOptionsOfTheManPage) {
    const std::string program = ProgramPath();
    if (program.empty()) GTEST_SKIP() << "the quorvexi program is not built";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        execl(program.c_str(), program.c_str(), "--help", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string help;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        help.append(buffer, static_cast<std::size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << help;

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
