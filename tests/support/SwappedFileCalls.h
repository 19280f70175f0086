#pragma once
// The safe writer's system calls swapped for the life of the scope, and the
// failures the tests put in their place.
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/host/SafeFile.h"

namespace qx::test {

class SwappedFileCalls {
  public:
    SwappedFileCalls() : saved_(SafeFileSystemCalls()) {}
    ~SwappedFileCalls() { SafeFileSystemCalls() = saved_; }
    SwappedFileCalls(const SwappedFileCalls&) = delete;
    SwappedFileCalls& operator=(const SwappedFileCalls&) = delete;
    SafeFileCalls* operator->() { return &SafeFileSystemCalls(); }

    // A full disk: every write fails.
    static ssize_t NoSpace(int, const void*, std::size_t) {
        errno = ENOSPC;
        return -1;
    }
    // A disk that fails to flush or to rename.
    static int FsyncFails(int) {
        errno = EIO;
        return -1;
    }
    static int RenameFails(const char*, const char*) {
        errno = EIO;
        return -1;
    }
    // The index alone cannot be put in place: as a crash after the point's file.
    static int IndexRenameFails(const char* from, const char* to) {
        if (std::strstr(to, "index") != nullptr) {
            errno = EIO;
            return -1;
        }
        return std::rename(from, to);
    }

  private:
    SafeFileCalls saved_;
};

}  // namespace qx::test
