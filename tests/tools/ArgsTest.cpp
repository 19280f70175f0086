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

    auto monitor = ParseArgs({"monitor", "--csv", "out.csv", "--seconds", "2.5", "--values",
                              "Engine Speed,Battery Voltage", "--values=VOES Retard"});
    ASSERT_EQ(monitor.error, "");
    EXPECT_EQ(monitor.options.csv, "out.csv");
    EXPECT_EQ(monitor.options.seconds, 2.5);
    EXPECT_EQ(monitor.options.values, (Strings{"Engine Speed", "Battery Voltage", "VOES Retard"}));
}

TEST(QvxArgs, UsageErrors) {
    const std::vector<Strings> bad = {
        {},                                   // no command
        {"frobnicate"},                       // unknown command
        {"show"},                             // missing file
        {"show", "a", "b"},                   // too many
        {"diff", "a"},                        // one file short
        {"set", "a.qvx"},                     // no assignment
        {"ports", "extra"},                   // takes none
        {"show", "a.qvx", "--verify"},        // option of another command
        {"download", "a.qvx", "--json"},      // option of another command
        {"show", "a.qvx", "--bogus"},         // unknown option
        {"show", "a.qvx", "--baud", "fast"},  // not a number
        {"show", "a.qvx", "--baud", "0"},     // not a speed
        {"show", "a.qvx", "--baud"},          // value missing
        {"show", "a.qvx", "--simulate=1"},    // flag with a value
        {"monitor", "--seconds", "-3"},       // not a duration
        {"monitor", "--seconds", "nan"},
        {"monitor", "--values", ","},     // no names
        {"monitor", "--csv", ""},         // no file
        {"show", "a.qvx", "--port", ""},  // no port
        {"--json"},                       // command option without command
    };
    for (const auto& argv : bad) {
        auto r = ParseArgs(argv);
        SCOPED_TRACE(testing::PrintToString(argv));
        EXPECT_NE(r.error, "");
        EXPECT_EQ(r.error.find('\n'), std::string::npos);
    }
}

TEST(QvxArgs, HelpForTheProgramAndForACommand) {
    const std::pair<Strings, std::string> cases[] = {
        {{"--help"}, ""}, {{"show", "--help"}, "show"}, {{"help", "monitor"}, "monitor"}};
    for (const auto& [argv, command] : cases) {
        auto r = ParseArgs(argv);
        EXPECT_EQ(r.error, "") << command;
        EXPECT_TRUE(r.options.help) << command;
        EXPECT_EQ(r.options.command, command);
    }
    for (const char* c : {"ports", "identify", "upload", "download", "verify", "diff", "show",
                          "new", "set", "monitor"}) {
        EXPECT_NE(GeneralHelp().find(std::string("qvx ") + c), std::string::npos) << c;
        EXPECT_NE(CommandHelp(c).find("Exit codes"), std::string::npos) << c;
    }
    EXPECT_EQ(CommandHelp("frobnicate"), "");
}

}  // namespace
}  // namespace qx::qvx
