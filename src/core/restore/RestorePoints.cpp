#include "core/restore/RestorePoints.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "core/host/Clock.h"
#include "core/host/Numbers.h"
#include "core/host/SafeFile.h"

namespace qx {
namespace {

namespace fs = std::filesystem;

constexpr const char* kIndexName = "index.tsv";
constexpr const char* kIndexHeader = "quorvexi restore points 1";
constexpr std::size_t kLargestPoint = 1 << 16;  // a settings file is far smaller

// Tabs, line ends and the escape itself cannot stand in a field as they are.
std::string Escape(std::string_view text) {
    std::string out;
    for (char ch : text) {
        if (ch == '\\') {
            out += "\\\\";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\r') {
            out += "\\r";
        } else {
            out += ch;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char ch = text[++i];
        out += ch == 't' ? '\t' : ch == 'n' ? '\n' : ch == 'r' ? '\r' : ch;
    }
    return out;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

bool ToInt64(std::string_view text, int64_t& out) {
    const std::optional<long long> n = ParseInt(text);
    if (!n) return false;
    out = static_cast<int64_t>(*n);
    return true;
}

// Newest first; points of the same millisecond by name, the later "_2" first.
bool Newer(const RestorePoint& a, const RestorePoint& b) {
    if (a.timeMs != b.timeMs) return a.timeMs > b.timeMs;
    if (a.file.size() != b.file.size()) return a.file.size() > b.file.size();
    return a.file > b.file;
}

std::vector<uint8_t> ReadPoint(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadFileLimited(path, kLargestPoint, bytes, why)) bytes.clear();
    return bytes;
}

uint64_t SizeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

}  // namespace

std::string RestorePointName(int64_t timeMs, int serial) {
    const std::time_t seconds = static_cast<std::time_t>(timeMs / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    std::string name =
        FormatC("%04d-%02d-%02d_%02d-%02d-%02d.%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(timeMs % 1000));
    name += serial >= 0 ? FormatC("_serial-%05d", serial) : std::string("_serial-unknown");
    return name + ".qvx";
}

bool ParseRestorePointName(std::string_view name, int64_t& timeMs, int& serial) {
    // 2026-12-07_22-18-34.123_serial-00042[_N].qvx
    constexpr std::size_t kStamp = 23;
    if (name.size() < kStamp + 12 || name.substr(name.size() - 4) != ".qvx") return false;
    const std::string s(name.substr(0, kStamp));
    const char* layout = "dddd-dd-dd_dd-dd-dd.ddd";
    for (std::size_t i = 0; i < kStamp; ++i) {
        const bool digit = s[i] >= '0' && s[i] <= '9';
        if (layout[i] == 'd' ? !digit : s[i] != layout[i]) return false;
    }
    std::tm tm{};
    tm.tm_year = std::atoi(s.substr(0, 4).c_str()) - 1900;
    tm.tm_mon = std::atoi(s.substr(5, 2).c_str()) - 1;
    tm.tm_mday = std::atoi(s.substr(8, 2).c_str());
    tm.tm_hour = std::atoi(s.substr(11, 2).c_str());
    tm.tm_min = std::atoi(s.substr(14, 2).c_str());
    tm.tm_sec = std::atoi(s.substr(17, 2).c_str());
    const int ms = std::atoi(s.substr(20, 3).c_str());
    if (tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60) {
        return false;
    }
    std::string_view rest = name.substr(kStamp, name.size() - kStamp - 4);
    if (rest.substr(0, 8) != "_serial-") return false;
    rest.remove_prefix(8);
    if (const std::size_t under = rest.find('_'); under != std::string_view::npos) {
        const std::string_view count = rest.substr(under + 1);
        if (count.empty() || count.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        rest = rest.substr(0, under);
    }
    if (rest == "unknown") {
        serial = -1;
    } else if (rest.size() == 5 && rest.find_first_not_of("0123456789") == std::string_view::npos) {
        serial = std::atoi(std::string(rest).c_str());
    } else {
        return false;
    }
    timeMs = static_cast<int64_t>(timegm(&tm)) * 1000 + ms;
    return true;
}

std::string FormatRestoreTime(int64_t timeMs) {
    const std::time_t seconds = static_cast<std::time_t>(timeMs / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    return FormatC("%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                   tm.tm_hour, tm.tm_min, tm.tm_sec);
}

RestorePoints::RestorePoints(std::string folder, Clock& clock, int64_t wallOriginMs,
                             RestoreLimits limits)
    : folder_(std::move(folder)), clock_(clock), wallOriginMs_(wallOriginMs), limits_(limits) {}

std::string RestorePoints::DefaultFolder() {
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.local/share";
    }
    return base + "/quorvexi/restore-points";
}

int64_t RestorePoints::NowMs() const {
    return wallOriginMs_ + clock_.NowMs();
}

std::vector<RestorePoint> RestorePoints::Load(bool& indexMatches) {
    indexMatches = false;
    // The files first: they are what there is.
    std::map<std::string, RestorePoint> found;
    std::error_code ec;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        RestorePoint p;
        if (!ParseRestorePointName(name, p.timeMs, p.serial)) continue;
        if (!it->is_regular_file(ec)) continue;
        p.file = name;
        found[name] = p;
    }
    std::vector<uint8_t> raw;
    std::string why;
    std::set<std::string> listed;
    bool clean = ReadFileLimited(folder_ + "/" + kIndexName, std::size_t{1} << 24, raw, why);
    const std::string text(raw.begin(), raw.end());
    std::size_t start = 0;
    bool header = true;
    while (clean && start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            clean = false;  // cut short: written by something else than the writer
            break;
        }
        const std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (header) {
            clean = line == kIndexHeader;
            header = false;
            continue;
        }
        const std::vector<std::string_view> f = SplitTabs(line);
        int64_t time = 0, serial = 0, firmware = 0, inexact = 0;
        const std::string name = Unescape(f[0]);
        if (f.size() != 7 || !ToInt64(f[1], time) || !ToInt64(f[2], serial) ||
            !ToInt64(f[3], firmware) || !ToInt64(f[6], inexact) || listed.count(name) != 0) {
            clean = false;
            continue;
        }
        listed.insert(name);
        const auto it = found.find(name);
        if (it == found.end()) {
            clean = false;  // the file is gone
            continue;
        }
        RestorePoint& p = it->second;
        if (p.timeMs != time || p.serial != serial) {
            clean = false;  // the line is not this file's: trust the name
            continue;
        }
        p.firmware = static_cast<int>(firmware);
        p.next = Unescape(f[4]);
        p.tunerFile = Unescape(f[5]);
        p.inexact = static_cast<int>(inexact);
    }
    if (header) clean = false;
    indexMatches = clean && listed.size() == found.size();
    std::vector<RestorePoint> points;
    for (auto& [name, p] : found) points.push_back(std::move(p));
    std::sort(points.begin(), points.end(), Newer);
    return points;
}

bool RestorePoints::SaveIndex(const std::vector<RestorePoint>& points, std::string& why) {
    std::string text = std::string(kIndexHeader) + "\n";
    for (const RestorePoint& p : points) {
        text += Escape(p.file) + "\t" + std::to_string(p.timeMs) + "\t" + std::to_string(p.serial) +
                "\t" + std::to_string(p.firmware) + "\t" + Escape(p.next) + "\t" +
                Escape(p.tunerFile) + "\t" + std::to_string(p.inexact) + "\n";
    }
    return WriteFileSafely(folder_ + "/" + kIndexName, text.data(), text.size(), why);
}

std::vector<RestorePoint> RestorePoints::List() {
    bool matches = false;
    std::vector<RestorePoint> points = Load(matches);
    if (!matches) {
        std::string why;
        // A folder that cannot be written is still listed.
        SaveIndex(points, why);
    }
    return points;
}

void RestorePoints::Prune(std::vector<RestorePoint>& points) {
    // points is newest first.
    const int64_t now = NowMs();
    std::size_t keep = 0;
    while (keep < points.size() &&
           (keep < limits_.keepCount || now - points[keep].timeMs <= limits_.keepAgeMs)) {
        ++keep;
    }
    uint64_t total = SizeOf(folder_ + "/" + kIndexName);
    std::vector<uint64_t> sizes;
    for (std::size_t i = 0; i < keep; ++i) {
        sizes.push_back(SizeOf(PathOf(points[i])));
        total += sizes.back();
    }
    // The newest is never dropped for size.
    while (keep > 1 && total > limits_.maxBytes) {
        --keep;
        total -= sizes[keep];
    }
    for (std::size_t i = keep; i < points.size(); ++i) {
        std::error_code ec;
        fs::remove(PathOf(points[i]), ec);
    }
    points.resize(keep);
}

RestorePoints::Outcome RestorePoints::Keep(const std::vector<uint8_t>& contents,
                                           const RestorePoint& about, std::string& why) {
    std::error_code ec;
    fs::create_directories(folder_, ec);
    if (ec) {
        why = "the folder " + folder_ + " cannot be made: " + ec.message();
        return Outcome::Failed;
    }
    bool matches = false;
    std::vector<RestorePoint> points = Load(matches);
    for (const RestorePoint& p : points) {
        if (p.serial != about.serial) continue;
        if (ReadPoint(PathOf(p)) == contents) {
            if (!matches) SaveIndex(points, why);
            why.clear();
            return Outcome::Same;
        }
        break;  // only the newest of this module counts
    }
    RestorePoint point = about;
    point.timeMs = NowMs();
    const std::string base = RestorePointName(point.timeMs, point.serial);
    point.file = base;
    for (int n = 2; fs::exists(PathOf(point), ec); ++n)
        point.file = base.substr(0, base.size() - 4) + "_" + std::to_string(n) + ".qvx";
    if (!WriteFileSafely(PathOf(point), contents.data(), contents.size(), why)) {
        why = PathOf(point) + ": " + why;
        return Outcome::Failed;
    }
    points.push_back(point);
    std::sort(points.begin(), points.end(), Newer);
    Prune(points);
    if (!SaveIndex(points, why)) {
        // The point is kept: the next look at the folder builds the index again.
        why = folder_ + "/" + kIndexName + ": " + why;
        return Outcome::Failed;
    }
    return Outcome::Kept;
}

namespace {
std::unique_ptr<RestorePoints>& AppStore() {
    static std::unique_ptr<RestorePoints> store;
    return store;
}
}  // namespace

RestorePoints* AppRestorePoints() {
    return AppStore().get();
}

std::unique_ptr<RestorePoints> ExchangeAppRestorePoints(std::unique_ptr<RestorePoints> store) {
    std::swap(store, AppStore());
    return store;
}

void EnableUserRestorePoints() {
    Clock& clock = RealClock();
    const int64_t wall = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    ExchangeAppRestorePoints(std::make_unique<RestorePoints>(RestorePoints::DefaultFolder(), clock,
                                                             wall - clock.NowMs()));
}

}  // namespace qx
