// The profile reader and writer. The input is the file's text; after the last
// NUL byte, "section\1key\1value" names a key to write (default Settings/Port).
// Nothing may crash; a write that is refused leaves the file byte for byte as
// it was; one that succeeds reads back as written and changes no other key.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/host/Profile.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "profile reader: %s\n", what);
        std::abort();
    }
}

const std::string& ProfilePath() {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/qx_profile_reader_" +
               std::to_string(::getpid()) + ".ini";
    }();
    return path;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names are looked up as given; the writer trims them, so the harness does too.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// The keys the programs read, and a few that collide with them in case only.
const std::pair<const char*, const char*> kProbes[] = {
    {"Settings", "Port"},     {"Settings", "Baud Rate"}, {"Settings", "Timeout"},
    {"settings", "PORT"},     {"Ports", "COM1"},         {"Ports", "COM4"},
    {"Colors", "Background"}, {"Settings", "Monitors"},  {"Mirror", "Enabled"},
};

constexpr const char* kAbsent = "\x02(absent)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text = input;
    std::string section = "Settings", key = "Port", value = "COM2";
    if (std::size_t nul = input.rfind('\0'); nul != std::string::npos) {
        text = input.substr(0, nul);
        const std::string request = input.substr(nul + 1);
        const std::size_t a = request.find('\1');
        const std::size_t b = a == std::string::npos ? a : request.find('\1', a + 1);
        if (b != std::string::npos) {
            section = Trim(request.substr(0, a));
            key = Trim(request.substr(a + 1, b - a - 1));
            value = request.substr(b + 1);
        }
    }
    {
        std::ofstream out(ProfilePath(), std::ios::binary | std::ios::trunc);
        out << text;
    }

    qx::Profile profile(ProfilePath());
    std::vector<std::string> before;
    for (const auto& [s, k] : kProbes) {
        before.push_back(profile.GetString(s, k, kAbsent));
        profile.GetInt(s, k, -1);
    }
    const std::string wanted = profile.GetString(section, key, kAbsent);
    // A value may spell the sentinel itself; only a second default tells.
    const bool present = profile.GetString(section, key, "\x02(other)") == wanted;

    const bool written = profile.WriteString(section, key, value);
    const std::string after = ReadAll(ProfilePath());
    if (!written) {
        Require(after == text, "a refused write changed the file");
        std::remove(ProfilePath().c_str());
        return 0;
    }
    Require(value.find_first_of("\r\n") == std::string::npos, "a line break was written");
    qx::Profile reread(ProfilePath());
    Require(reread.GetString(section, key, kAbsent) == value, "the written value reads back wrong");
    Require(profile.GetString(section, key, kAbsent) == value, "the written value is not kept");
    for (std::size_t i = 0; i < std::size(kProbes); ++i) {
        const auto& [s, k] = kProbes[i];
        if (SameName(s, section) && SameName(k, key)) continue;
        Require(reread.GetString(s, k, kAbsent) == before[i], "another key changed");
    }
    if (present && wanted == value)
        Require(after == text, "writing the same value changed the file");
    std::remove(ProfilePath().c_str());
    return 0;
}
