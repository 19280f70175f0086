#include "core/host/SafeFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "core/host/Host.h"

namespace qx {

namespace {

// Pieces are collected up to this size before they are handed to the system.
constexpr std::size_t kChunk = 64 * 1024;
// The kernel's own limit on links followed for one name.
constexpr int kMaxLinks = 40;
// How often a wait on a pipe looks whether the host is quitting, in case the
// quit signal came just before the wait began.
constexpr int kQuitLookMs = 250;

const char kLinkLoop[] = "the symbolic links loop";
const char kNoReader[] = "nothing is reading from that pipe";
const char kInterrupted[] = "interrupted";

SafeFileCalls g_calls{::write, ::fsync, ::rename};

std::string DirName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The name a chain of links ends at, existing or not; empty when it loops.
std::string FollowLinks(std::string path) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string next(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), next.data(), next.size());
        if (n < 0) return path;
        next.resize(static_cast<std::size_t>(n));
        path = next.starts_with('/') ? next : DirName(path) + "/" + next;
    }
    return {};
}

// A name beside target that fits the folder's name limit: the target's name
// is shortened as far as needed. mkostemp replaces the six trailing X.
std::string TemporaryName(const std::string& target) {
    const std::string dir = DirName(target);
    const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
    const std::string suffix = "." + std::string(6, 'X');
    const std::size_t room = nameMax > suffix.size() + 1 ? nameMax - suffix.size() - 1 : 0;
    const std::string base = BaseName(target);
    return dir + "/." + base.substr(0, std::min(base.size(), room)) + suffix;
}

// Going past the file size limit must fail the write, not end the program
// (which would leave the temporary file behind); so must a reader that left.
class NoWriteSignals {
  public:
    NoWriteSignals() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        restoreSize_ = ::sigaction(SIGXFSZ, &ignore, &oldSize_) == 0;
        restorePipe_ = ::sigaction(SIGPIPE, &ignore, &oldPipe_) == 0;
    }
    ~NoWriteSignals() {
        if (restoreSize_) ::sigaction(SIGXFSZ, &oldSize_, nullptr);
        if (restorePipe_) ::sigaction(SIGPIPE, &oldPipe_, nullptr);
    }
    NoWriteSignals(const NoWriteSignals&) = delete;
    NoWriteSignals& operator=(const NoWriteSignals&) = delete;

  private:
    struct sigaction oldSize_ {};
    struct sigaction oldPipe_ {};
    bool restoreSize_ = false;
    bool restorePipe_ = false;
};

// Waits until fd is ready for events. False (errno EINTR) once the host quits.
bool WaitReady(int fd, short events) {
    for (;;) {
        if (CurrentHost().IsQuitting()) {
            errno = EINTR;
            return false;
        }
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, kQuitLookMs);
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

}  // namespace

SafeFileCalls& SafeFileSystemCalls() {
    return g_calls;
}

SafeFileWriter::SafeFileWriter(std::string path) : path_(std::move(path)), target_(path_) {
    struct stat st {};
    if (::stat(path_.c_str(), &st) == 0) {
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode)) {
            // Opened by the name given: /dev/stdout of a pipe names no file.
            through_ = true;
            fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            const bool noReader = fd_ < 0 && errno == ENXIO && S_ISFIFO(st.st_mode);
            if (fd_ < 0) Fail(noReader ? kNoReader : std::strerror(errno));
            return;
        }
        if (S_ISDIR(st.st_mode)) {
            Fail(std::strerror(EISDIR));
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            Fail("it is neither a file nor a device that takes writing");
            return;
        }
    } else if (errno == ELOOP) {
        Fail(kLinkLoop);
        return;
    } else if (errno != ENOENT) {
        FailErrno();
        return;
    }
    // A regular file, or a name (perhaps a link's) that does not exist yet.
    target_ = FollowLinks(path_);
    if (target_.empty()) {
        Fail(kLinkLoop);
        return;
    }
    temp_ = TemporaryName(target_);
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        FailErrno();
        temp_.clear();
        return;
    }
    struct stat old {};
    mode_t mode;
    if (::stat(target_.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
        // Only root may give a file away; for anyone else this fails harmlessly.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            [[maybe_unused]] const int ignored = ::fchown(fd_, old.st_uid, old.st_gid);
        }
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd_, mode) != 0) FailErrno();
}

SafeFileWriter::~SafeFileWriter() {
    if (committed_) return;
    if (published_ || through_) {
        // What was flushed stays; the rest is dropped.
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        return;
    }
    Discard();
}

void SafeFileWriter::Fail(const std::string& why) {
    if (error_.empty()) error_ = why.empty() ? "unknown error" : why;
}

void SafeFileWriter::FailErrno() {
    Fail(std::strerror(errno));
}

bool SafeFileWriter::Write(const void* data, std::size_t size) {
    if (Failed() || committed_ || fd_ < 0) return false;
    pending_.append(static_cast<const char*>(data), size);
    return pending_.size() < kChunk || Flush();
}

bool SafeFileWriter::Flush() {
    if (Failed() || committed_ || fd_ < 0) return false;
    NoWriteSignals noSignals;
    std::size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = g_calls.write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0) {
            if (errno == EINTR && !CurrentHost().IsQuitting()) continue;
            // A device or pipe that cannot take more yet: wait for the reader.
            if (errno == EAGAIN && WaitReady(fd_, POLLOUT)) continue;
            Fail(errno == EINTR ? kInterrupted : std::strerror(errno));
            // A published file ends at its last whole flush, not half a row.
            if (published_ && done > 0) {
                const off_t end = ::lseek(fd_, 0, SEEK_CUR);
                if (end >= 0) {
                    [[maybe_unused]] const int ignored =
                        ::ftruncate(fd_, end - static_cast<off_t>(done));
                }
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
    return true;
}

// Flushes to the disk (a device or pipe has nothing to flush) and closes.
bool SafeFileWriter::Settle() {
    if (Flush() && !through_ && g_calls.fsync(fd_) != 0) FailErrno();
    const int fd = fd_;
    fd_ = -1;
    if (fd >= 0 && ::close(fd) != 0 && !through_) FailErrno();
    return !Failed();
}

bool SafeFileWriter::Publish() {
    if (published_ || through_) return Flush();
    if (Failed() || fd_ < 0) return false;
    // The old file is given up only for a new one that is on the disk so far.
    if (Flush() && g_calls.fsync(fd_) != 0) FailErrno();
    if (!Failed() && g_calls.rename(temp_.c_str(), target_.c_str()) != 0) FailErrno();
    if (Failed()) {
        Discard();
        return false;
    }
    temp_.clear();
    published_ = true;
    const int dir = ::open(DirName(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        [[maybe_unused]] const int ignored = ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool SafeFileWriter::Commit() {
    if (committed_) return !Failed();
    if (Failed() || fd_ < 0) {
        if (!published_ && !through_) Discard();
        return false;
    }
    if (published_ || through_) {
        const bool settled = Settle();
        committed_ = true;
        return settled;
    }
    if (Settle() && g_calls.rename(temp_.c_str(), target_.c_str()) != 0) FailErrno();
    if (Failed()) {
        Discard();
        return false;
    }
    temp_.clear();
    committed_ = true;
    // Make the rename itself durable. A folder that cannot be opened for
    // reading, or a file system without folder flushes, is no failure.
    const int dir = ::open(DirName(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        if (::fsync(dir) != 0 && errno != EINVAL) FailErrno();
        ::close(dir);
    }
    return !Failed();
}

void SafeFileWriter::Discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
    pending_.clear();
}

bool WriteFileSafely(const std::string& path, const void* data, std::size_t size,
                     std::string& why) {
    SafeFileWriter writer(path);
    if (writer.Write(data, size) && writer.Commit()) return true;
    why = writer.Error();
    return false;
}

bool ReadFileLimited(const std::string& path, std::size_t limit, std::vector<uint8_t>& out,
                     std::string& why) {
    out.clear();
    // Not blocking: opening a FIFO would otherwise wait for a writer beyond
    // the reach of a quit signal.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ELOOP ? kLinkLoop : std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        why = S_ISDIR(st.st_mode) ? "it is a folder" : std::strerror(errno);
        ::close(fd);
        return false;
    }
    // A FIFO reads as ended until a writer comes: wait for one first.
    const bool waits = !S_ISREG(st.st_mode);
    uint8_t chunk[4096];
    while (out.size() <= limit) {
        if (waits && !WaitReady(fd, POLLIN)) {
            why = errno == EINTR ? kInterrupted : std::strerror(errno);
            ::close(fd);
            return false;
        }
        const std::size_t want = std::min(sizeof chunk, limit + 1 - out.size());
        const ssize_t n = ::read(fd, chunk, want);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.insert(out.end(), chunk, chunk + n);
    }
    ::close(fd);
    return true;
}

}  // namespace qx
