#include "host/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace qx {

namespace {

// Pieces are collected up to this size before they are handed to the system.
constexpr std::size_t kChunk = 64 * 1024;

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

std::string Reason() {
    return std::strerror(errno);
}

// Going past the file size limit must fail the write, not end the program
// (which would leave the temporary file behind).
class NoFileSizeSignal {
  public:
    NoFileSizeSignal() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        restore_ = ::sigaction(SIGXFSZ, &ignore, &old_) == 0;
    }
    ~NoFileSizeSignal() {
        if (restore_) ::sigaction(SIGXFSZ, &old_, nullptr);
    }
    NoFileSizeSignal(const NoFileSizeSignal&) = delete;
    NoFileSizeSignal& operator=(const NoFileSizeSignal&) = delete;

  private:
    struct sigaction old_ {};
    bool restore_ = false;
};

}  // namespace

SafeFileWriter::SafeFileWriter(std::string path) : path_(std::move(path)), target_(path_) {
    struct stat link {};
    char resolved[PATH_MAX];
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode) &&
        ::realpath(path_.c_str(), resolved) != nullptr) {
        target_ = resolved;
    }
    // mkostemp replaces the six trailing X characters.
    temp_ = DirName(target_) + "/." + BaseName(target_) + "." + std::string(6, 'X');
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        Fail(Reason());
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
    if (::fchmod(fd_, mode) != 0) Fail(Reason());
}

SafeFileWriter::~SafeFileWriter() {
    if (!committed_) Discard();
}

void SafeFileWriter::Fail(const std::string& why) {
    if (error_.empty()) error_ = why.empty() ? "unknown error" : why;
}

bool SafeFileWriter::Write(const void* data, std::size_t size) {
    if (Failed() || committed_ || fd_ < 0) return false;
    pending_.append(static_cast<const char*>(data), size);
    return pending_.size() < kChunk || Flush();
}

bool SafeFileWriter::Flush() {
    NoFileSizeSignal noSignal;
    std::size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(Reason());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
    return true;
}

bool SafeFileWriter::Commit() {
    if (committed_) return true;
    if (!Failed() && fd_ >= 0 && Flush()) {
        if (::fsync(fd_) != 0) Fail(Reason());
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) Fail(Reason());
        if (!Failed() && ::rename(temp_.c_str(), target_.c_str()) != 0) Fail(Reason());
    }
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
        if (::fsync(dir) != 0 && errno != EINVAL) Fail(Reason());
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

}  // namespace qx
