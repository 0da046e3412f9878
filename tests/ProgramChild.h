#pragma once
// A job run inside a program's own start-up, in a child process: the program's main runs
// as it does for a user (configuration and data folders in a temporary folder), the job
// runs once the event loop turns, then the windows close. The parent gets the child's
// wait status and the report the job wrote.
#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace programchild {

struct Outcome {
    int status = -1; // as waitpid gives it
    QByteArray report;
    bool ExitedNormally() const { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Lowers the soft file-size limit while it lives; the old one comes back at the end.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &saved_); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
};

inline std::function<QByteArray()> job;
inline int reportPipe = -1;

inline void RunJobOnceStarted() {
    QTimer::singleShot(0, [] {
        const QByteArray report = job();
        for (qsizetype done = 0; done < report.size();) {
            const ssize_t n = ::write(reportPipe, report.constData() + done, report.size() - done);
            if (n <= 0)
                break;
            done += n;
        }
        ::close(reportPipe);
        QApplication::closeAllWindows();
    });
}

// Runs programMain in a child with `home` as its configuration and data folder.
inline Outcome RunInProgram(int (*programMain)(int, char**), const QString& home,
                            std::function<QByteArray()> childJob) {
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t child = fork();
    if (child < 0)
        return {};
    if (child == 0) {
        ::close(fds[0]);
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_CONFIG_HOME", home.toUtf8());
        qputenv("XDG_DATA_HOME", home.toUtf8());
        job = std::move(childJob);
        reportPipe = fds[1];
        qAddPreRoutine(RunJobOnceStarted);
        char name[] = "program";
        char* argv[] = {name, nullptr};
        _exit(programMain(1, argv) == 0 ? 0 : 3);
    }
    ::close(fds[1]);
    Outcome outcome;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        outcome.report.append(buffer, n);
    ::close(fds[0]);
    waitpid(child, &outcome.status, 0);
    return outcome;
}

} // namespace programchild
