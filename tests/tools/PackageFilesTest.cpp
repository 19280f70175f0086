// The files the package installs for the desktop agree with each other and
// spell the program's name as the user sees it: "Quorvex I".
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/FileBytes.h"

namespace qx {
namespace {

std::string ReadSource(const std::string& relative) {
    return test::ReadFileText(std::string(QX_SOURCE_DIR) + "/" + relative);
}

std::string FirstMatch(const std::string& text, const std::string& pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : std::string();
}

TEST(PackageFiles, NameLicenceAndKeywords) {
    const char* const shown[] = {"src/gui/resources/quorvexi.desktop",
                                 "src/gui/resources/quorvexi-mime.xml",
                                 "packaging/quorvexi.metainfo.xml.in", "packaging/copyright"};
    // "QuorvexI" as a word of text; identifiers such as QuorvexI.ini and
    // org.quorvex.QuorvexI stay.
    const std::regex squeezed(R"((^|[^.\w])QuorvexI(?=[\s<",;:]|$))");
    for (const char* file : shown) {
        const std::string text = ReadSource(file);
        ASSERT_FALSE(text.empty()) << file;
        EXPECT_FALSE(std::regex_search(text, squeezed)) << file << " writes QuorvexI";
    }

    const std::string licence =
        FirstMatch(ReadSource("packaging/copyright"), R"(\nLicense: *([^\s]+))");
    EXPECT_FALSE(licence.empty());
    EXPECT_EQ(licence, FirstMatch(ReadSource("packaging/quorvexi.metainfo.xml.in"),
                                  R"(<project_license>([^<]+)</project_license>)"));

    const std::string keywords =
        FirstMatch(ReadSource("src/gui/resources/quorvexi.desktop"), R"(\nKeywords=([^\n]*))");
    EXPECT_NE(keywords.find("ignition;"), std::string::npos) << keywords;
}

}  // namespace
}  // namespace qx
