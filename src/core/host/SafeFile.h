#pragma once
// The one way this program writes a file: into a temporary file in the same
// folder, flushed to the disk, then renamed over the target and the folder
// flushed. A failure at any point removes the temporary file and leaves any
// earlier file of that name as it was; the reason is readable text ("No space
// left on device").
//
// A new file gets the usual permissions (0666 less the umask); a replaced file
// keeps its permissions and, where allowed, its owner. A symbolic link is
// written through: the file it names is replaced and the link stays.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qx {

// The streaming form: write any number of pieces, then Commit. Destroying it
// without a successful Commit discards everything written.
class SafeFileWriter {
  public:
    // Creates the temporary file now; a failure shows in Failed() and Error().
    explicit SafeFileWriter(std::string path);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // False once anything has failed (every later call then does nothing).
    bool Write(const void* data, std::size_t size);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    // Flushes, renames over the target and flushes the folder. True once the
    // new file is in place; false (temporary file removed) otherwise.
    bool Commit();
    // Removes the temporary file; the target is not touched.
    void Discard();

    bool Failed() const { return !error_.empty(); }
    // Why it failed; empty while nothing has.
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }

  private:
    bool Flush();
    void Fail(const std::string& why);

    std::string path_;    // as given
    std::string target_;  // the file actually replaced (a link's target)
    std::string temp_;
    int fd_ = -1;
    std::string pending_;  // written but not yet handed to the system
    std::string error_;
    bool committed_ = false;
};

// The whole-buffer form. True when path now holds bytes, else false with the
// reason in why (and any earlier file intact).
bool WriteFileSafely(const std::string& path, const void* data, std::size_t size, std::string& why);

}  // namespace qx
