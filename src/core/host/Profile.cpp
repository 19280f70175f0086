#include "core/host/Profile.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/host/Numbers.h"
#include "core/host/SafeFile.h"

namespace qx {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Section and key names match without regard to ASCII case, as INI readers do.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

// "[name]" gives name; anything else nothing.
std::optional<std::string_view> SectionOf(std::string_view line) {
    std::string_view t = Trim(line);
    if (t.empty() || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
    std::string_view t = Trim(line);
    return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// "key = value" gives the position of '='; comments and lines without one give npos.
std::size_t EqualsOf(std::string_view line) {
    if (IsComment(line) || SectionOf(line)) return std::string_view::npos;
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)).empty()) {
        return std::string_view::npos;
    }
    return eq;
}

std::string ValueOf(std::string_view line, std::size_t eq) {
    std::string_view v = Trim(line.substr(eq + 1));
    // A value written with surrounding blanks is kept in double quotes.
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string QuoteIfNeeded(std::string_view value) {
    bool needs = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') needs = true;
    if (!needs) return std::string(value);
    // Not "\"" + s: g++ 12 at -O3 reports a false -Wrestrict for it.
    return std::string(1, '"').append(value).append(1, '"');
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

std::string DirName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool MakeDirs(const std::string& dir) {
    struct stat st {};
    if (stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string parent = DirName(dir);
    if (parent != dir && !MakeDirs(parent)) return false;
    return mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::unique_ptr<Profile>& AppProfileSlot() {
    static std::unique_ptr<Profile> profile;
    return profile;
}

}  // namespace

Profile::Profile(std::string path) : path_(std::move(path)) {
    Reload();
}

void Profile::Reload() {
    lines_.clear();
    finalNewline_ = true;
    crlf_ = false;
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines_.push_back(text.substr(start));
            finalNewline_ = false;
            break;
        }
        lines_.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    crlf_ = !lines_.empty() && !lines_.front().empty() && lines_.front().back() == '\r';
}

std::optional<std::string> Profile::Find(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (const std::string& line : lines_) {
        if (auto name = SectionOf(line)) {
            inSection = SameName(*name, section);
            continue;
        }
        if (!inSection) continue;
        std::size_t eq = EqualsOf(line);
        if (eq == std::string::npos) continue;
        if (SameName(Trim(std::string_view(line).substr(0, eq)), key)) return ValueOf(line, eq);
    }
    return std::nullopt;
}

int Profile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    auto text = Find(section, key);
    if (!text) return defaultValue;
    auto value = ParseInt(*text);
    if (!value || *value < INT_MIN || *value > INT_MAX) return defaultValue;
    return static_cast<int>(*value);
}

std::string Profile::GetString(std::string_view section, std::string_view key,
                               std::string_view defaultValue) const {
    auto text = Find(section, key);
    return text ? *text : std::string(defaultValue);
}

bool Profile::HasKey(std::string_view section, std::string_view key) const {
    return Find(section, key).has_value();
}

bool Profile::WriteInt(std::string_view section, std::string_view key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool Profile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    std::string_view sec = Trim(section);
    std::string_view k = Trim(key);
    // Names and values that would break the file's structure are refused.
    if (sec.empty() || k.empty() || HasLineBreak(sec) || HasLineBreak(k) || HasLineBreak(value) ||
        sec.find(']') != std::string_view::npos || k.find('=') != std::string_view::npos ||
        k.front() == '[' || k.front() == ';' || k.front() == '#') {
        return false;
    }
    // Start from the file as it is now, so that what another program wrote survives.
    Reload();
    const std::vector<std::string> before = lines_;
    const bool beforeFinal = finalNewline_;
    const std::string cr = crlf_ ? "\r" : "";
    const std::string stored = QuoteIfNeeded(value);

    bool inSection = false;
    bool sectionFound = false;
    bool inFirstSection = false;
    std::size_t insertAt = 0;  // after the last non-blank line of the first matching section
    bool replaced = false;
    for (std::size_t i = 0; i < lines_.size() && !replaced; ++i) {
        const std::string& line = lines_[i];
        if (auto name = SectionOf(line)) {
            inSection = SameName(*name, sec);
            inFirstSection = inSection && !sectionFound;
            if (inFirstSection) {
                sectionFound = true;
                insertAt = i + 1;
            }
            continue;
        }
        if (inFirstSection && !Trim(line).empty()) insertAt = i + 1;
        if (!inSection) continue;
        std::size_t eq = EqualsOf(line);
        if (eq == std::string::npos) continue;
        if (SameName(Trim(std::string_view(line).substr(0, eq)), k)) {
            // Keep the key as spelled in the file, the blanks around '=' and the line end.
            std::size_t valueStart = eq + 1;
            while (valueStart < line.size() &&
                   (line[valueStart] == ' ' || line[valueStart] == '\t')) {
                ++valueStart;
            }
            const bool ownCr = !line.empty() && line.back() == '\r';
            lines_[i] = line.substr(0, valueStart) + stored + (ownCr ? "\r" : "");
            replaced = true;
        }
    }
    if (!replaced) {
        std::string newLine = std::string(k) + "=" + stored + cr;
        // A file that lacked its last line feed gets one before a line added after it.
        const bool atEnd = !sectionFound || insertAt == lines_.size();
        if (atEnd) finalNewline_ = true;
        if (sectionFound) {
            lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
        } else {
            if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.push_back(cr);
            lines_.push_back(std::string(1, '[').append(sec).append(1, ']').append(cr));
            lines_.push_back(newLine);
        }
    }
    if (!Save()) {
        lines_ = before;
        finalNewline_ = beforeFinal;
        return false;
    }
    return true;
}

bool Profile::RemoveKey(std::string_view section, std::string_view key) {
    Reload();
    const std::vector<std::string> before = lines_;
    bool inSection = false;
    bool removed = false;
    for (std::size_t i = 0; i < lines_.size();) {
        const std::string& line = lines_[i];
        if (auto name = SectionOf(line)) {
            inSection = SameName(*name, section);
            ++i;
            continue;
        }
        std::size_t eq = inSection ? EqualsOf(line) : std::string::npos;
        if (eq != std::string::npos && SameName(Trim(std::string_view(line).substr(0, eq)), key)) {
            lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
            removed = true;
            continue;
        }
        ++i;
    }
    if (!removed) return true;
    if (!Save()) {
        lines_ = before;
        return false;
    }
    return true;
}

bool Profile::Save() const {
    // The writer goes through a symbolic link to the file it names, keeping the link.
    if (!MakeDirs(DirName(path_))) return false;
    std::string text;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i];
        if (i + 1 < lines_.size() || finalNewline_) text += '\n';
    }
    std::string why;
    return WriteFileSafely(path_, text.data(), text.size(), why);
}

std::string Profile::DefaultPath() {
    const char* explicitPath = getenv("QUORVEXI_PROFILE");
    if (explicitPath && *explicitPath) return explicitPath;
    const char* xdg = getenv("XDG_CONFIG_HOME");
    // Relative values are to be ignored.
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/QuorvexI.ini";
    std::string home;
    if (const char* h = getenv("HOME"); h && *h) {
        home = h;
    } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) {
        home = pw->pw_dir;
    }
    return home + "/.config/QuorvexI.ini";
}

Profile& AppProfile() {
    auto& slot = AppProfileSlot();
    if (!slot) slot = std::make_unique<Profile>(Profile::DefaultPath());
    return *slot;
}

void SetAppProfile(std::string path) {
    AppProfileSlot() = std::make_unique<Profile>(std::move(path));
}

std::unique_ptr<Profile> ExchangeAppProfile(std::unique_ptr<Profile> profile) {
    std::unique_ptr<Profile> previous = std::move(AppProfileSlot());
    AppProfileSlot() = std::move(profile);
    return previous;
}

}  // namespace qx
