#pragma once
// A file size limit for the life of the scope, so that writes fail part way as
// on a full disk, for root too. SIGXFSZ is ignored meanwhile, so going past
// the limit fails the write (EFBIG) instead of ending the test. Any user may
// lower the soft limit and raise it back.
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

namespace qx::test {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &oldAction_);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lower = old_;
        lower.rlim_cur = std::min(bytes, old_.rlim_max);
        ::setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::sigaction(SIGXFSZ, &oldAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit old_{};
    struct sigaction oldAction_ {};
};

}  // namespace qx::test
