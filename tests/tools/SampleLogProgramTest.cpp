// quorvexi-samplelog takes its options as options, never as the file to write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace qx {
namespace {

namespace fs = std::filesystem;

std::string SampleLogPath() {
    const char* build = std::getenv("QX_BUILD_DIR");
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    for (const fs::path& dir : {fs::path(build ? build : ""), self.parent_path().parent_path()}) {
        const fs::path p = dir / "src" / "quorvexi-samplelog";
        if (!dir.empty() && access(p.c_str(), X_OK) == 0) return p;
    }
    return {};
}

// Runs the program in folder with args; its exit code, or -1.
int RunIn(const fs::path& folder, std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(folder.c_str()) != 0) _exit(126);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SampleLogProgram, OptionsAreNotFileNames) {
    const std::string program = SampleLogPath();
    if (program.empty()) GTEST_SKIP() << "quorvexi-samplelog is not built";
    const fs::path folder = fs::temp_directory_path() / ("samplelog-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const struct {
        std::vector<std::string> args;
        int exit;
        const char* written;  // the file that must exist afterwards, or ""
    } cases[] = {
        {{"--help"}, 0, ""},
        {{"-h"}, 0, ""},
        {{"--seconds"}, 2, ""},
        {{}, 2, ""},
        {{"ride.csv", "0.2"}, 0, "ride.csv"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{program};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string label = c.args.empty() ? "(none)" : c.args.front();
        EXPECT_EQ(RunIn(folder, args), c.exit) << label;
        std::vector<std::string> files;
        for (const auto& e : fs::directory_iterator(folder))
            files.push_back(e.path().filename().string());
        if (*c.written) {
            EXPECT_EQ(files, std::vector<std::string>{c.written}) << label;
        } else {
            EXPECT_TRUE(files.empty()) << label << " wrote " << (files.empty() ? "" : files[0]);
        }
        for (const auto& e : fs::directory_iterator(folder)) fs::remove(e.path());
    }
    fs::remove_all(folder);
}

}  // namespace
}  // namespace qx
