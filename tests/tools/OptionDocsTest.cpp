// The options qvx --help lists, those qvx(1) documents and those the bash
// completion offers are the same, command by command.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "support/FileBytes.h"
#include "tools/qvx/Args.h"

namespace qx::qvx {
namespace {

using Names = std::set<std::string>;

std::string ReadSource(const std::string& relative) {
    return qx::test::ReadFileText(std::string(QX_SOURCE_DIR) + "/" + relative);
}

// Every option word (--name or -x) that stands after a space, a bracket or a comma.
Names OptionWords(const std::string& text) {
    static const std::regex word(R"((^|[\s\[(,|"])(--?[a-z][a-z-]*[a-z]|-[a-z])(?=[\s\],=)|"]|$))");
    Names out;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), word);
         it != std::sregex_iterator(); ++it)
        out.insert((*it)[2].str());
    return out;
}

// The man page as it reads: escaped dashes plain, font changes gone.
std::string ManText(std::string roff) {
    roff = std::regex_replace(roff, std::regex(R"(\\f[BIRP])"), "");
    return std::regex_replace(roff, std::regex(R"(\\-)"), "-");
}

// The words of a shell assignment such as own="--verify --json".
Names Assigned(const std::string& text, const std::string& prefix) {
    Names out;
    const std::regex line(prefix + R"re(="([^"]*)")re");
    std::smatch m;
    if (!std::regex_search(text, m, line)) return out;
    std::istringstream words(m[1].str());
    for (std::string w; words >> w;) out.insert(w);
    return out;
}

std::vector<std::string> Commands() {
    std::vector<std::string> out;
    std::istringstream lines(GeneralHelp());
    static const std::regex entry(R"(^  qvx ([a-z-]+))");
    std::smatch m;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, m, entry)) out.push_back(m[1].str());
    return out;
}

Names Minus(const Names& a, const Names& b) {
    Names out;
    for (const auto& n : a)
        if (!b.count(n)) out.insert(n);
    return out;
}

std::string Join(const Names& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : " ") + n;
    return out;
}

TEST(QvxOptionDocs, HelpManPageAndCompletionNameTheSameOptions) {
    const std::string man = ManText(ReadSource("packaging/man/qvx.1"));
    const std::string completion = ReadSource("packaging/qvx.bash-completion");
    ASSERT_FALSE(man.empty());
    ASSERT_FALSE(completion.empty());
    const std::vector<std::string> commands = Commands();
    ASSERT_GE(commands.size(), 10u) << GeneralHelp();

    // The general help's own list (its synopses name the commands' options too).
    const std::string general = GeneralHelp();
    ASSERT_NE(general.find("Common options"), std::string::npos);
    const Names common = OptionWords(general.substr(general.find("Common options")));
    EXPECT_EQ(Join(common), Join(Assigned(completion, "local common")))
        << "the completion's common options";

    Names all = common;
    for (const std::string& c : commands) {
        SCOPED_TRACE("qvx " + c + " --help");
        const Names own = Minus(OptionWords(CommandHelp(c)), common);
        all.insert(own.begin(), own.end());
        // The completion's line for the command, e.g.  download) own="--verify" ;;
        EXPECT_EQ(Join(own), Join(Assigned(completion, "\\s" + c + "\\) own")))
            << "the completion's options of " << c;
        EXPECT_TRUE(std::regex_search(man, std::regex("\n\\.BI? " + c + "[ \n]")))
            << "qvx(1) describes " << c;
        EXPECT_NE(Assigned(completion, "local commands").count(c), 0u)
            << "the completion offers " << c;
    }
    // The man page's options are all known to the help, and the other way round.
    const Names documented = OptionWords(man);
    EXPECT_EQ(Join(Minus(all, documented)), "") << "listed by --help, missing from qvx(1)";
    EXPECT_EQ(Join(Minus(documented, all)), "") << "in qvx(1), not listed by --help";
}

}  // namespace
}  // namespace qx::qvx
