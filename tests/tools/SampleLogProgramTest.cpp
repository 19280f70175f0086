// quorvexi-samplelog takes its options as options, never as the file to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

TEST(SampleLogProgram, OptionsAreNotFileNames) {
    const std::string program = test::ProgramPath("quorvexi-samplelog");
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
        test::Child child(args, STDOUT_FILENO, folder);
        child.ReadLines(SIZE_MAX, 60000);
        EXPECT_EQ(child.Wait(), c.exit) << label;
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
