#include "FileSizeLimit.h"

#include <csignal>
#include <sys/resource.h>

namespace platform {

namespace {

// The write past the limit fails with EFBIG; there is nothing else to do.
void OnLimitPassed(int) {}

} // namespace

void SurviveFileSizeLimit() {
    // A handler rather than SIG_IGN: a program started from here (the desktop's opener)
    // gets the default back at exec instead of inheriting ours.
    struct sigaction action {};
    action.sa_handler = OnLimitPassed;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &action, nullptr);
}

bool FitsFileSizeLimit(qint64 size) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return true;
    return size >= 0 && static_cast<rlim_t>(size) <= limit.rlim_cur;
}

} // namespace platform
