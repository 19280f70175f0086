#pragma once
// Running qvx in-process on files of a temporary folder, with its own profile,
// and reading back what it printed.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tools/qvx/Qvx.h"

namespace qx::qvx::test {

struct RunResult {
    int code = -1;
    std::string out;
    std::string err;
    std::string messages;  // the system's message lines
};

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::vector<std::string> SplitCsv(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
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
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    // Runs qvx with args and "--profile" of this test appended.
    RunResult Run(std::vector<std::string> args) {
        args.push_back("--profile");
        args.push_back(profile);
        return RunRaw(args);
    }
    RunResult RunRaw(const std::vector<std::string>& args) {
        RunResult r;
        std::ostringstream out;
        std::ostringstream err;
        std::FILE* messages = std::tmpfile();
        RunEnv env;
        env.messages = messages;
        env.progress = false;
        env.sysfsRoot = sysfsRoot;
        r.code = RunQvx(args, out, err, env);
        r.out = out.str();
        r.err = err.str();
        std::fflush(messages);
        std::rewind(messages);
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, messages)) > 0)
            r.messages.append(buffer, n);
        std::fclose(messages);
        return r;
    }

    std::string dir;
    std::string profile;
    std::string sysfsRoot = "/nonexistent-sysfs";
};

}  // namespace qx::qvx::test
