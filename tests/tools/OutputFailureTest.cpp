// qvx output files go through the safe writer: a write that fails part way
// leaves the earlier file whole and no temporary file, and says why; a
// replaced file keeps its permissions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "ToolTestUtil.h"
#include "host/FileSizeLimit.h"

namespace qx::qvx::test {
namespace {

class QvxOutput : public ToolTest {
  protected:
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
    // Runs args with the file size limit given (0: none).
    RunResult RunLimited(const Strings& args, rlim_t limit) {
        std::optional<::qx::test::FileSizeLimit> scope;
        if (limit != 0) scope.emplace(limit);
        return Run(args);
    }
};

TEST_F(QvxOutput, SetThatCannotWriteTheFileKeepsIt) {
    const std::string path = Path("a.qvx");
    ASSERT_EQ(Run({"new", path}).code, 0);
    const auto before = ReadFileBytes(path);
    RunResult r = RunLimited({"set", path, "Rev Limit=8000"}, 1000);
    EXPECT_EQ(r.code, kExitBadFile);
    EXPECT_TRUE(Has(r.err, "could not be written")) << r.err;
    EXPECT_TRUE(Has(r.messages, "File too large")) << r.messages;
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(Entries(), std::set<std::string>{"a.qvx"});
}

TEST_F(QvxOutput, MonitorCsvKeepsItsModeAndSurvivesAFailedWrite) {
    StartModule();
    const std::string csv = Path("live.csv");
    std::ofstream(csv) << "old rows\n";
    ASSERT_EQ(::chmod(csv.c_str(), 0600), 0);
    const Strings args = {"monitor", "--seconds",        "0.3", "--csv", csv,
                          "--port",  module->SlavePath()};

    RunResult r = RunLimited(args, 0);
    EXPECT_EQ(r.code, 0) << r.err << r.messages;
    EXPECT_EQ(Split(ReadFileText(csv)).at(1).substr(0, 3), "ms,");
    struct stat st {};
    ASSERT_EQ(::stat(csv.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);

    const std::string written = ReadFileText(csv);
    r = RunLimited(args, 20);  // not even the header fits
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(Has(r.err, csv + ": could not be written: File too large")) << r.err;
    EXPECT_EQ(ReadFileText(csv), written);
    EXPECT_EQ(Entries(), std::set<std::string>{"live.csv"});
}

}  // namespace
}  // namespace qx::qvx::test
