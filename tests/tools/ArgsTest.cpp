// The command line: common options anywhere, command options only with their
// command, argument counts, and the values of options.
#include <gtest/gtest.h>

#include "tools/qvx/Args.h"

namespace qx::qvx {
namespace {

ParseResult Parse(std::vector<std::string> argv) {
    return ParseArgs(argv);
}

TEST(QvxArgs, CommonOptionsBeforeAndAfterTheCommandsArguments) {
    auto before =
        Parse({"--port", "COM2", "--baud=19200", "--yes", "download", "a.qvx", "--verify"});
    ASSERT_EQ(before.error, "");
    EXPECT_EQ(before.options.command, "download");
    EXPECT_EQ(before.options.args, std::vector<std::string>{"a.qvx"});
    EXPECT_EQ(before.options.port, "COM2");
    EXPECT_EQ(before.options.baud, 19200);
    EXPECT_TRUE(before.options.yes);
    EXPECT_TRUE(before.options.verify);

    auto after = Parse({"download", "--verify", "a.qvx", "--simulate", "--profile", "/tmp/p.ini"});
    ASSERT_EQ(after.error, "");
    EXPECT_EQ(after.options.args, std::vector<std::string>{"a.qvx"});
    EXPECT_TRUE(after.options.simulate);
    EXPECT_EQ(after.options.profile, "/tmp/p.ini");
    EXPECT_FALSE(after.options.port.has_value());
    EXPECT_FALSE(after.options.baud.has_value());
}

TEST(QvxArgs, SetTakesAssignmentsAndADoubleDashEndsOptions) {
    auto r = Parse({"set", "f.qvx", "Rev Limit=6100", "--", "--odd=1"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.args, (std::vector<std::string>{"f.qvx", "Rev Limit=6100", "--odd=1"}));
}

TEST(QvxArgs, MonitorOptionsAndTheirValues) {
    auto r = Parse({"monitor", "--csv", "out.csv", "--seconds", "2.5", "--values",
                    "Engine Speed,Battery Voltage", "--values=VOES Retard"});
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.options.csv, "out.csv");
    EXPECT_EQ(r.options.seconds, 2.5);
    EXPECT_EQ(r.options.values,
              (std::vector<std::string>{"Engine Speed", "Battery Voltage", "VOES Retard"}));
}

TEST(QvxArgs, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
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
        std::string joined;
        for (const auto& a : argv) joined += a + " ";
        EXPECT_NE(r.error, "") << joined;
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << joined;
    }
}

TEST(QvxArgs, HelpForTheProgramAndForACommand) {
    auto general = Parse({"--help"});
    EXPECT_EQ(general.error, "");
    EXPECT_TRUE(general.options.help);
    EXPECT_EQ(general.options.command, "");

    auto command = Parse({"show", "--help"});  // needs no file
    EXPECT_EQ(command.error, "");
    EXPECT_TRUE(command.options.help);
    EXPECT_EQ(command.options.command, "show");

    auto word = Parse({"help", "monitor"});
    EXPECT_EQ(word.error, "");
    EXPECT_TRUE(word.options.help);
    EXPECT_EQ(word.options.command, "monitor");

    for (const char* c : {"ports", "identify", "upload", "download", "verify", "diff", "show",
                          "new", "set", "monitor"}) {
        EXPECT_NE(GeneralHelp().find(std::string("qvx ") + c), std::string::npos) << c;
        EXPECT_NE(CommandHelp(c).find("Exit codes"), std::string::npos) << c;
    }
    EXPECT_EQ(CommandHelp("frobnicate"), "");
}

}  // namespace
}  // namespace qx::qvx
