#pragma once
// Restore points: what the module held, kept as ordinary settings files each
// time its settings are read and before anything overwrites them, so that a
// tune lost to a download or a wrong write can be had back.
//
// The folder holds one file per point, named so that the names sort by time
// and show the module's serial number, and a small index (one line a point).
// The files are the truth: an index that does not match them (a crash between
// a file and the index, a hand-edited folder) is built again from the files.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class Clock;

struct RestorePoint {
    std::string file;       // the name inside the folder
    int64_t timeMs = 0;     // calendar time, ms since 1970 (UTC)
    int serial = -1;        // -1: not known
    int firmware = -1;      // -1: not known (a point found without its index line)
    std::string next;       // what happened next: "upload", "download", ...; "" not known
    std::string tunerFile;  // the file the tuner had open; "" none
    int inexact = 0;        // values the file cannot give back as the module held them
};

struct RestoreLimits {
    std::size_t keepCount = 200;                            // at least the newest this many
    int64_t keepAgeMs = int64_t{30} * 24 * 60 * 60 * 1000;  // and every one this young
    uint64_t maxBytes = uint64_t{50} * 1024 * 1024;         // then oldest dropped beyond this
};

class RestorePoints {
  public:
    // Times are read from clock as calendar time: wallOriginMs is the calendar
    // time at which clock reads 0.
    RestorePoints(std::string folder, Clock& clock, int64_t wallOriginMs,
                  RestoreLimits limits = {});

    // $XDG_DATA_HOME/quorvexi/restore-points, $XDG_DATA_HOME defaulting to
    // ~/.local/share.
    static std::string DefaultFolder();

    const std::string& Folder() const { return folder_; }
    std::string PathOf(const RestorePoint& point) const { return folder_ + "/" + point.file; }
    int64_t NowMs() const;

    enum class Outcome { Kept, Same, Failed };
    // Keeps contents (a settings file image) with what is said of it (file
    // and time are set here). Same: the newest point of that serial number
    // holds these very bytes, and nothing is written. Failed: why says why.
    Outcome Keep(const std::vector<uint8_t>& contents, const RestorePoint& about, std::string& why);

    // Every point, newest first. Rebuilds the index when it does not match the files.
    std::vector<RestorePoint> List();

    // Whether the user has been told that points cannot be kept (once per run).
    bool Told() const { return told_; }
    void SetTold() { told_ = true; }

  private:
    std::vector<RestorePoint> Load(bool& indexMatches);
    bool SaveIndex(const std::vector<RestorePoint>& points, std::string& why);
    void Prune(std::vector<RestorePoint>& points);

    std::string folder_;
    Clock& clock_;
    int64_t wallOriginMs_;
    RestoreLimits limits_;
    bool told_ = false;
};

// The name of a point kept at timeMs for serial (-1: not known), e.g.
// "2026-12-07_22-18-34.123_serial-00042.qvx".
std::string RestorePointName(int64_t timeMs, int serial);
// Reads time and serial back from such a name (a "_2" before ".qvx" allowed);
// false for any other name.
bool ParseRestorePointName(std::string_view name, int64_t& timeMs, int& serial);
// "2026-12-07 22:18:34" in UTC.
std::string FormatRestoreTime(int64_t timeMs);

// The store of this process: null until the program turns restore points on
// (the programs do at start; tests with a folder of their own).
RestorePoints* AppRestorePoints();
// Installs store (null turns restore points off); returns the previous one.
std::unique_ptr<RestorePoints> ExchangeAppRestorePoints(std::unique_ptr<RestorePoints> store);
// Turns restore points on in DefaultFolder(), timed by the host's clock.
void EnableUserRestorePoints();

}  // namespace qx
