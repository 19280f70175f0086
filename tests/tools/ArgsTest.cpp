// The command line: common options anywhere, command options only with their
// command, argument counts, and the values of options.
#include <gtest/gtest.h>

#include "tools/qvx/Args.h"

namespace qx::qvx {
namespace {

using Strings = std::vector<std::string>;

TEST(QvxArgs, CommonOptionsBeforeAndAfterTheCommandsArguments) {
    auto before =
        ParseArgs({"--port", "COM2", "--baud=19200", "--yes", "download", "a.qvx", "--verify"});
    ASSERT_EQ(before.error, "");
    EXPECT_EQ(before.options.command, "download");
    EXPECT_EQ(before.options.args, Strings{"a.qvx"});
    EXPECT_EQ(before.options.port, "COM2");
    EXPECT_EQ(before.options.baud, 19200);
    EXPECT_TRUE(before.options.yes && before.options.verify);

    auto after =
        ParseArgs({"download", "--verify", "a.qvx", "--simulate", "--profile", "/tmp/p.ini"});
    ASSERT_EQ(after.error, "");
    EXPECT_EQ(after.options.args, Strings{"a.qvx"});
    EXPECT_TRUE(after.options.simulate);
    EXPECT_EQ(after.options.profile, "/tmp/p.ini");
    EXPECT_FALSE(after.options.port || after.options.baud);

    auto set = ParseArgs({"set", "f.qvx", "Rev Limit=6100", "--", "--odd=1"});
    EXPECT_EQ(set.options.args, (Strings{"f.qvx", "Rev Limit=6100", "--odd=1"})) << set.error;

    auto monitor = ParseArgs({"monitor", "--seconds", "2.5", "--values",
                              "Engine Speed,Battery Voltage", "--values=VOES Retard"});
    ASSERT_EQ(monitor.error, "");
    EXPECT_EQ(monitor.options.seconds, 2.5);
    EXPECT_EQ(monitor.options.values, (Strings{"Engine Speed", "Battery Voltage", "VOES Retard"}));
}

TEST(QvxArgs, UsageErrors) {
    const std::vector<Strings> bad = {
        {"show", "a", "b"},
        {"diff", "a"},
        {"ports", "extra"},
        {"download", "a.qvx", "--json"},
        {"show", "a.qvx", "--bogus"},
        {"show", "a.qvx", "--baud", "0"},
        {"show", "a.qvx", "--baud"},
        {"show", "a.qvx", "--simulate=1"},
        {"monitor", "--seconds", "nan"},
        {"monitor", "--values", ","},
        {"show", "a.qvx", "--port", ""},
        {"--json"},
    };
    for (const auto& argv : bad) {
        auto r = ParseArgs(argv);
        SCOPED_TRACE(testing::PrintToString(argv));
        EXPECT_NE(r.error, "");
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
    auto help = ParseArgs({"help", "monitor"});
    EXPECT_TRUE(help.options.help);
    EXPECT_EQ(help.options.command, "monitor");
}

// An option that takes one value given twice is refused, whichever way the
// values are written, never "the last one wins"; --values adds up.
TEST(QvxArgs, RepeatedOneValueOptionsAreRefused) {
    const std::vector<Strings> twice = {
        {"download", "n.qvx", "--changed-only", "--against", "a", "--against", "b"},
        {"download", "n.qvx", "--changed-only", "--against=a", "--against", "a"},
        {"identify", "--port", "COM1", "--port=COM2"},
        {"identify", "--baud", "9600", "--baud", "19200"},
        {"identify", "--profile", "/tmp/a.ini", "--profile", "/tmp/b.ini"},
        {"monitor", "--csv", "a.csv", "--csv", "b.csv"},
        {"monitor", "--seconds", "1", "--seconds=2"},
    };
    for (const auto& argv : twice) {
        SCOPED_TRACE(testing::PrintToString(argv));
        const auto r = ParseArgs(argv);
        EXPECT_NE(r.error.find("given more than once"), std::string::npos) << r.error;
    }
    const auto values = ParseArgs({"monitor", "--values", "Engine Speed", "--values=VOES Retard"});
    EXPECT_EQ(values.error, "");
    EXPECT_EQ(values.options.values, (Strings{"Engine Speed", "VOES Retard"}));
    const auto flags = ParseArgs({"download", "a.qvx", "--verify", "--verify", "-y", "--yes"});
    EXPECT_EQ(flags.error, "");
}

}  // namespace
}  // namespace qx::qvx
