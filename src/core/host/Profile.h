#pragma once
// The profile: an INI file of sections and keys (keys may contain spaces).
// A missing key gives its default and reading never creates a key; writing a
// key keeps every other line of the file and replaces the file atomically.
// Malformed lines are kept as they are and otherwise ignored.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

class Profile {
  public:
    // Binds to path; the file need not exist. Reads it now.
    explicit Profile(std::string path);

    const std::string& Path() const { return path_; }

    // Integers accept optional sign and decimal digits; anything else gives the default.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view defaultValue) const;
    bool HasKey(std::string_view section, std::string_view key) const;

    // Returns false when the file could not be written (the old file is then intact).
    bool WriteInt(std::string_view section, std::string_view key, int value);
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool RemoveKey(std::string_view section, std::string_view key);

    // Re-reads the file (another program may have written it).
    void Reload();

    // $QUORVEXI_PROFILE, else $XDG_CONFIG_HOME/QuorvexI.ini, else ~/.config/QuorvexI.ini.
    static std::string DefaultPath();

  private:
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    bool Save() const;

    std::string path_;
    // The file's lines without their line feeds (a CR before it stays in the line).
    std::vector<std::string> lines_;
    bool finalNewline_ = true;  // whether the last line ended with a line feed
    bool crlf_ = false;         // new lines get a CR as the file's first line has
};

// The profile of this process; created on first use at Profile::DefaultPath()
// unless SetAppProfile installed another. Never null.
Profile& AppProfile();
// Replaces the process profile (tests, --profile). Takes ownership.
void SetAppProfile(std::string path);
// Installs profile (taking ownership; null means "created again on first use")
// and hands back the previous one to the caller, who then owns it.
std::unique_ptr<Profile> ExchangeAppProfile(std::unique_ptr<Profile> profile);

}  // namespace qx
