#pragma once
// The signals that ask a program to end: SIGTERM (a session that ends), SIGINT (Ctrl+C in
// a terminal) and SIGHUP (a closed terminal). They may reach any thread, the port thread
// too, at any moment; the handler only writes the signal's number into a pipe, and the
// pipe's reader, a socket notifier on the thread that made this object, reports it from
// that thread's event loop, where the program may do anything.
//
// A signal the program was started with ignored (nohup, a shell's background job) stays
// ignored. One instance at a time; while it lives no signal of the three ends the process.
#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace platform {

class TermSignals : public QObject {
    Q_OBJECT
public:
    explicit TermSignals(QObject* parent = nullptr);
    // The handlers that were there before come back, unless KeepUntilExit was asked.
    ~TermSignals() override;
    TermSignals(const TermSignals&) = delete;
    TermSignals& operator=(const TermSignals&) = delete;

    // For a program's main: once the instance has gone, through the rest of the program's
    // end, the signals are still taken in and end nothing, so that a session manager's
    // further signals during the close do not kill the program it is closing.
    void KeepUntilExit() { KeptUntilExit = true; }

signals:
    // Once for each batch of signals that came since the last: the latest signal's number.
    void Received(int signal);

private:
    void Drain();

    int ReadEnd = -1;
    int WriteEnd = -1;
    QSocketNotifier* Notifier = nullptr;
    struct sigaction Previous[3] = {};
    bool Installed[3] = {};
    bool KeptUntilExit = false;
};

} // namespace platform
