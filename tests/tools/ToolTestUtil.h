#pragma once
// Running qvx in-process on files of a temporary folder, with its own profile,
// and reading back what it printed.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "emulator/PtyEmulator.h"
#include "support/FileBytes.h"
#include "tools/qvx/Qvx.h"

namespace qx::qvx::test {

using Strings = std::vector<std::string>;

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
    std::string messages;  // the system's message lines
};

using qx::test::ReadFileBytes;
using qx::test::ReadFileText;
using qx::test::WriteFileBytes;

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Lines of text, or the fields of a line split at sep.
inline Strings Split(const std::string& text, char sep = '\n') {
    Strings parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, sep);) parts.push_back(part);
    return parts;
}

// A value in a settings file: basic setting index (map < 0) or a map's point.
inline double FileValue(const std::vector<uint8_t>& file, int index, int map = -1) {
    const std::size_t record = map < 0 ? index : 12 + map * 16 + index;
    double v = 0;
    std::memcpy(&v, file.data() + record * 34 + (map < 0 ? 2 : 6), sizeof v);
    return v;
}

// A temporary folder with a profile, removed at the end of the test.
class ToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // mkdtemp replaces the last six characters.
        std::string pattern =
            std::filesystem::temp_directory_path().string() + "/qvx-test-" + std::string(6, 'X');
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        profile = dir + "/QuorvexI.ini";
    }
    void TearDown() override {
        module.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    // A new settings file at name, with assignments set; returns its path.
    std::string NewFile(const std::string& name, Strings assignments = {}) {
        const std::string path = Path(name);
        EXPECT_EQ(Run({"new", path}).code, 0);
        assignments.insert(assignments.begin(), {"set", path});
        EXPECT_EQ(assignments.size() > 2 ? Run(assignments).code : 0, 0);
        return path;
    }

    // Starts an emulated module on a pseudo-terminal of its own.
    void StartModule(const emu::EmulatorConfig& config = {}) {
        module = std::make_unique<emu::PtyEmulator>(config);
        std::string error;
        ASSERT_TRUE(module->Start(&error)) << error;
    }
    // Runs a command on the module's device.
    RunResult OnModule(Strings args) {
        args.insert(args.end(), {"--port", module->SlavePath()});
        return Run(args);
    }

    // Runs qvx with args and "--profile" of this test appended.
    RunResult Run(Strings args) {
        args.insert(args.end(), {"--profile", profile});
        return RunRaw(args);
    }
    RunResult RunRaw(const Strings& args) {
        RunResult r;
        std::ostringstream out, err;
        std::FILE* messages = std::tmpfile();
        r.code = RunQvx(args, out, err,
                        RunEnv{.sysfsRoot = sysfsRoot,
                               .byIdRoot = byIdRoot,
                               .progress = false,
                               .messages = messages});
        r.out = out.str();
        r.err = err.str();
        std::rewind(messages);
        for (int c; (c = std::fgetc(messages)) != EOF;) r.messages += static_cast<char>(c);
        std::fclose(messages);
        return r;
    }

    std::string dir;
    std::string profile;
    std::unique_ptr<emu::PtyEmulator> module;
    std::string sysfsRoot = "/nonexistent-sysfs";
    std::string byIdRoot = "/nonexistent-by-id";
};

}  // namespace qx::qvx::test
