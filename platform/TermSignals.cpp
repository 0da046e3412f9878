#include "TermSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// The pipe's write end for the handler: -1 while no instance lives.
std::atomic<int> g_writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may use only lock-free atomics");

extern "C" void OnTermSignal(int signal) {
    // The interrupted code may be about to read errno.
    const int savedErrno = errno;
    const int fd = g_writeEnd.load();
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        // Non-blocking: a full pipe already holds a signal that has not been reported.
        [[maybe_unused]] const ssize_t written = write(fd, &number, 1);
    }
    errno = savedErrno;
}

} // namespace

TermSignals::TermSignals(QObject* parent) : QObject(parent) {
    Q_ASSERT(g_writeEnd.load() < 0);
    int ends[2];
    // Without the pipe the signals keep their default: the program ends as it did.
    if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    ReadEnd = ends[0];
    WriteEnd = ends[1];
    g_writeEnd.store(WriteEnd);
    Notifier = new QSocketNotifier(ReadEnd, QSocketNotifier::Read, this);
    connect(Notifier, &QSocketNotifier::activated, this, &TermSignals::Drain);

    struct sigaction action = {};
    action.sa_handler = OnTermSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        if (sigaction(kSignals[i], nullptr, &Previous[i]) != 0 ||
            (!(Previous[i].sa_flags & SA_SIGINFO) && Previous[i].sa_handler == SIG_IGN))
            continue;
        Installed[i] = sigaction(kSignals[i], &action, nullptr) == 0;
    }
}

TermSignals::~TermSignals() {
    if (KeptUntilExit) {
        // The handlers stay and report nowhere. The pipe stays open too: a handler that
        // read its write end just now writes into it harmlessly, not into a reused
        // descriptor, and no reader gone makes its write raise SIGPIPE.
        g_writeEnd.store(-1);
        delete Notifier;
        return;
    }
    for (int i = 0; i < 3; ++i)
        if (Installed[i])
            sigaction(kSignals[i], &Previous[i], nullptr);
    if (ReadEnd < 0)
        return;
    g_writeEnd.store(-1);
    delete Notifier;
    close(ReadEnd);
    close(WriteEnd);
}

void TermSignals::Drain() {
    unsigned char numbers[64];
    int latest = 0;
    ssize_t count;
    while ((count = read(ReadEnd, numbers, sizeof numbers)) > 0 || (count < 0 && errno == EINTR))
        if (count > 0)
            latest = numbers[count - 1];
    if (latest != 0)
        emit Received(latest);
}

} // namespace platform
