#pragma once
// The one way this program writes a file, and the one way it reads a whole one.
//
// What the name leads to decides how it is written:
// - A regular file, or no file yet: the bytes go into a temporary file in the
//   same folder, flushed to the disk, then renamed over the target and the
//   folder flushed. A failure at any point removes the temporary file and
//   leaves any earlier file of that name as it was. A new file gets the usual
//   permissions (0666 less the umask); a replaced file keeps its permissions
//   and, where allowed, its owner.
// - A symbolic link is followed to the file it names, which is written as
//   above; the link stays. A link naming nothing yet creates what it names; a
//   chain of links that loops is refused.
// - A character device (/dev/null, a terminal) or a FIFO (a named pipe, a shell's
//   >(...)) is written through: it is never replaced. A FIFO that nothing reads
//   from is refused rather than waited on. Bytes written through are gone to
//   the reader: a later failure or Discard cannot take them back.
// - A folder, block device or socket is refused.
//
// Errors are readable text for a message: the system's reason ("No space left
// on device", "Permission denied") or one of this writer's own ("nothing is
// reading from that pipe", "the symbolic links loop").
//
// Going past the file size limit fails the write (EFBIG) instead of ending the
// program; a reader that went away fails it (EPIPE) likewise. A write through
// that has to wait for a slow reader gives up when the host is asked to quit.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx {

// The streaming form: write any number of pieces, then Commit. Destroying it
// without a successful Commit or Publish discards everything written.
class SafeFileWriter {
  public:
    // Looks at the target and creates the temporary file (or opens the device)
    // now; a failure shows in Failed() and Error().
    explicit SafeFileWriter(std::string path);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // False once anything has failed (every later call then does nothing).
    bool Write(const void* data, std::size_t size);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    // Hands everything written so far to the system (not yet to the disk).
    bool Flush();
    // For a recording: puts what has been written so far in place of the
    // target at once. Later writes land in that file at each Flush, so a crash
    // loses only what was not flushed; a Flush that fails part way (full disk)
    // is cut back, so the file ends where the last good Flush ended. Commit
    // still flushes to the disk; destruction without Commit keeps what was flushed.
    bool Publish();
    // Flushes to the disk and, unless published or written through, renames
    // over the target and flushes the folder. True once the new file is in
    // place; false (temporary file removed) otherwise.
    bool Commit();
    // Removes the temporary file; the target is not touched.
    void Discard();

    bool Failed() const { return !error_.empty(); }
    // Why it failed; empty while nothing has.
    const std::string& Error() const { return error_; }
    const std::string& Path() const { return path_; }
    // True when the target is a device or FIFO written through.
    bool WritesThrough() const { return through_; }

  private:
    bool Settle();
    void Fail(const std::string& why);
    void FailErrno();

    std::string path_;    // as given
    std::string target_;  // the file actually replaced (a link's target)
    std::string temp_;
    int fd_ = -1;
    std::string pending_;  // written but not yet handed to the system
    std::string error_;
    bool through_ = false;    // a device or FIFO: no temporary file, no rename
    bool published_ = false;  // the target is the file being written
    bool committed_ = false;
};

// The whole-buffer form. True when path now holds bytes, else false with the
// reason in why (and any earlier file intact).
bool WriteFileSafely(const std::string& path, const void* data, std::size_t size, std::string& why);

// Reads a whole file into out, but at most limit + 1 bytes: enough for the
// caller to tell a file that is too long, and no trouble from a device that
// never ends. A FIFO or pipe (a shell's <(...)) is waited on until its writer
// has finished; the wait ends when the host is asked to quit ("interrupted").
// A folder is refused ("it is a folder"). False with the reason in why.
bool ReadFileLimited(const std::string& path, std::size_t limit, std::vector<uint8_t>& out,
                     std::string& why);

// The system calls the writer makes, so that a test can make one fail as a
// disk does (EIO from fsync) where a real failure cannot be had on demand.
// Used by the writer only; swap them only in tests, and put them back.
struct SafeFileCalls {
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    int (*fsync)(int fd);
    int (*rename)(const char* from, const char* to);
};
SafeFileCalls& SafeFileSystemCalls();

}  // namespace qx
