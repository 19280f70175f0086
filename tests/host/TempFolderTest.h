#pragma once
// A private folder and profile (ScopedFakeHost) with plain readers and writers
// of its files, for the tests of what writes files there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "core/host/SafeFile.h"
#include "support/FakeHost.h"
#include "support/FileBytes.h"

namespace qx::test {

// Runs body in a forked child, which then exits with 0; the child's wait status.
template <class F>
int InChild(F body) {
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    EXPECT_GE(child, 0);
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return status;
}

class TempFolderTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return scope_.TempDir() + "/" + name; }
    static std::string Read(const std::string& path) { return ReadFileText(path); }
    // Writes text to path, then gives it mode unless 0.
    static void Put(const std::string& path, const std::string& text, mode_t mode = 0) {
        std::ofstream(path, std::ios::binary) << text;
        if (mode != 0) ::chmod(path.c_str(), mode);
    }
    // Names in the folder; a temporary file left behind shows here.
    std::set<std::string> Entries() const {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(scope_.TempDir())) {
            names.insert(e.path().filename().string());
        }
        return names;
    }
    // Temporary files are hidden: none may be left.
    void ExpectNothingLeftBehind() const {
        for (const std::string& name : Entries())
            EXPECT_NE(name[0], '.') << "left behind: " << name;
    }
    static bool Write(const std::string& path, const std::string& text, std::string& why) {
        return WriteFileSafely(path, text.data(), text.size(), why);
    }

    ScopedFakeHost scope_;
};

}  // namespace qx::test
