#include "FileSizeLimit.h"

#include <atomic>
#include <csignal>
#include <sys/resource.h>

namespace platform {

namespace {

std::atomic<unsigned> limitHits{0};
static_assert(std::atomic<unsigned>::is_always_lock_free, "used in a signal handler");

void CountLimitHit(int) {
    limitHits.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

void SurviveFileSizeLimit() {
    // A handler rather than SIG_IGN: a program started from here (the desktop's opener)
    // gets the default back at exec instead of inheriting ours.
    struct sigaction action {};
    action.sa_handler = CountLimitHit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &action, nullptr);
}

unsigned FileSizeLimitHits() {
    return limitHits.load(std::memory_order_relaxed);
}

bool FitsFileSizeLimit(qint64 size) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return true;
    return size >= 0 && static_cast<rlim_t>(size) <= limit.rlim_cur;
}

bool CommitInFull(QSaveFile& file, qint64 size) {
    if (!file.flush() || file.size() != size) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace platform
