#include "platform/linux/open_file_limit.h"

#include <atomic>

namespace fhsw {

namespace {

// Written once, before any launch can read it.
rlimit startLimit{};
std::atomic<bool> raised{false};

}  // namespace

void RaiseOpenFileLimit(rlim_t wanted) {
    rlimit now{};
    if (::getrlimit(RLIMIT_NOFILE, &now) != 0) return;
    if (now.rlim_cur != RLIM_INFINITY && wanted == RLIM_INFINITY) wanted = now.rlim_max;
    if (now.rlim_max != RLIM_INFINITY && wanted > now.rlim_max) wanted = now.rlim_max;
    if (now.rlim_cur == RLIM_INFINITY || now.rlim_cur >= wanted) return;
    rlimit lifted = now;
    lifted.rlim_cur = wanted;
    if (raised.load()) {
        ::setrlimit(RLIMIT_NOFILE, &lifted);  // the start's limit stays noted
        return;
    }
    startLimit = now;
    if (::setrlimit(RLIMIT_NOFILE, &lifted) == 0) raised.store(true);
}

void RestoreOpenFileLimitInChild() noexcept {
    if (!raised.load()) return;
    rlimit back{};
    if (::getrlimit(RLIMIT_NOFILE, &back) != 0) return;
    back.rlim_cur = startLimit.rlim_cur;
    ::setrlimit(RLIMIT_NOFILE, &back);
}

}  // namespace fhsw
