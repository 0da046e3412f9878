#include "SimHarness.h"

#include "VskComPort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace simtest {

namespace {

using Steady = std::chrono::steady_clock;

int MsLeft(Steady::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string FindProgram(const std::string& name) {
    if (name.find('/') != std::string::npos)
        return name;
    std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
    dirs += ":/usr/sbin:/sbin";
    std::istringstream in(dirs);
    std::string dir;
    while (std::getline(in, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return name;
}

// fork + exec; the child gets SIGTERM when the test process dies, so that it never
// outlives a crashed test.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            int outFd, int errFd) {
    const std::string program = FindProgram(argv.at(0));
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e)
        envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStrings)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        if (outFd >= 0)
            ::dup2(outFd, STDOUT_FILENO);
        if (errFd >= 0)
            ::dup2(errFd, STDERR_FILENO);
        ::execve(program.c_str(), args.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

int DecodeStatus(int status) {
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Waits at most timeoutMs for the child to end; its decoded status, or -2 on time-out.
int WaitExit(pid_t pid, int timeoutMs) {
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid)
            return DecodeStatus(status);
        if (r < 0)
            return -1;
        if (MsLeft(deadline) == 0)
            return -2;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

int KillAndReap(pid_t pid, int timeoutMs) {
    ::kill(pid, SIGTERM);
    int status = WaitExit(pid, timeoutMs);
    if (status == -2) {
        ::kill(pid, SIGKILL);
        status = WaitExit(pid, 10000);
    }
    return status;
}

} // namespace

std::string SimulatorPath() {
    return VENDRILL_SIM_PATH;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vendrill-sim-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr)
        path_ = pattern;
}

TempDir::~TempDir() {
    if (path_.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

SimProcess::SimProcess(const std::vector<std::string>& args, int readyTimeoutMs) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error_ = "cannot make a pipe";
        return;
    }
    std::vector<std::string> argv = {SimulatorPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_ = Spawn(argv, {}, fds[1], -1);
    ::close(fds[1]);
    out_ = fds[0];
    if (pid_ < 0) {
        error_ = "cannot start " + SimulatorPath();
        return;
    }
    std::string line;
    const auto deadline = Steady::now() + std::chrono::milliseconds(readyTimeoutMs);
    while (ReadLine(line, MsLeft(deadline))) {
        std::istringstream words(line);
        std::string ready;
        if (words >> ready >> port_ >> device_ && ready == "ready")
            return;
        port_.clear();
        device_.clear();
    }
    earlyStatus_ = KillAndReap(pid_, 5000);
    pid_ = -1;
    error_ = "vendrill-sim was not ready (exit status " + std::to_string(earlyStatus_) + ")";
}

SimProcess::~SimProcess() {
    Stop();
    if (out_ >= 0)
        ::close(out_);
}

bool SimProcess::ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto nl = pending_.find('\n');
        if (nl != std::string::npos) {
            line = pending_.substr(0, nl);
            pending_.erase(0, nl + 1);
            return true;
        }
        pollfd p = {out_, POLLIN, 0};
        if (::poll(&p, 1, MsLeft(deadline)) <= 0)
            return false;
        char chunk[256];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        pending_.append(chunk, static_cast<size_t>(n));
    }
}

bool SimProcess::WaitForLine(const std::string& wanted, int timeoutMs) {
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    while (ReadLine(line, MsLeft(deadline)))
        if (line == wanted)
            return true;
    return false;
}

void SimProcess::Signal(int signal) {
    if (pid_ > 0)
        ::kill(pid_, signal);
}

int SimProcess::Stop(int timeoutMs) {
    if (pid_ <= 0)
        return -1;
    const int status = KillAndReap(pid_, timeoutMs);
    pid_ = -1;
    return status;
}

int RunCommand(const std::vector<std::string>& argv, std::string& output, int timeoutMs,
               const std::vector<std::string>& env) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = Spawn(argv, env, fds[1], fds[1]);
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return -1;
    }
    const auto deadline = Steady::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p = {fds[0], POLLIN, 0};
        if (::poll(&p, 1, MsLeft(deadline)) <= 0)
            break;
        char chunk[512];
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n <= 0)
            break; // end of output: the program has ended or closed it
        output.append(chunk, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = WaitExit(pid, std::max(MsLeft(deadline), 1000));
    if (status == -2) {
        ::kill(pid, SIGKILL);
        WaitExit(pid, 10000);
        status = -1;
    }
    return status;
}

bool MakeFat16Image(const std::string& path, unsigned sizeKiB,
                    const std::vector<std::pair<std::string, std::string>>& files,
                    std::string& error) {
    std::filesystem::remove(path);
    std::string output;
    if (RunCommand({"mkfs.fat", "-F", "16", "-C", path, std::to_string(sizeKiB)}, output) != 0) {
        error = "mkfs.fat failed: " + output;
        return false;
    }
    const std::string staging = path + ".file";
    for (const auto& [name, contents] : files) {
        std::ofstream(staging, std::ios::binary) << contents;
        output.clear();
        const int status = RunCommand({"mcopy", "-i", path, staging, "::" + name}, output, 60000,
                                      {"MTOOLS_SKIP_CHECK=1"});
        std::filesystem::remove(staging);
        if (status != 0) {
            error = "mcopy of " + name + " failed: " + output;
            return false;
        }
    }
    return true;
}

std::string ReadWholeFile(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

std::string VariedBytes(size_t count) {
    std::string bytes(count, '\0');
    uint32_t x = 12345;
    for (char& c : bytes) {
        x = x * 1103515245 + 12345;
        c = static_cast<char>(x >> 16);
    }
    return bytes;
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
    TPortBuffer b;
    std::copy(frame.begin(), frame.end(), b.Tx);
    AppendCRC(b, static_cast<uint8_t>(frame.size()));
    return std::vector<uint8_t>(b.Tx, b.Tx + b.TxLen);
}

RawLine::RawLine(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0)
        return;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0) {
        ::close(fd_);
        fd_ = -1;
        return;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | CSTOPB;
    ::tcsetattr(fd_, TCSANOW, &tio);
    ::tcflush(fd_, TCIOFLUSH);
}

RawLine::~RawLine() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool RawLine::Send(const std::vector<uint8_t>& frame) {
    const std::vector<uint8_t> bytes = WithCrc(frame);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::vector<uint8_t> RawLine::Receive(size_t expected, int firstByteMs, int silenceMs) {
    std::vector<uint8_t> reply;
    // Never more than a whole frame could hold, so a line that never falls silent ends too.
    while (reply.size() < expected && reply.size() < 512) {
        pollfd p = {fd_, POLLIN, 0};
        if (::poll(&p, 1, reply.empty() ? firstByteMs : silenceMs) <= 0)
            break;
        uint8_t chunk[256];
        const ssize_t n = ::read(fd_, chunk, std::min(sizeof chunk, expected - reply.size()));
        if (n <= 0)
            break;
        reply.insert(reply.end(), chunk, chunk + n);
    }
    return reply;
}

std::vector<uint8_t> RawLine::Exchange(const std::vector<uint8_t>& frame, size_t expected,
                                       int firstByteMs) {
    if (!Send(frame))
        return {};
    return Receive(expected, firstByteMs);
}

} // namespace simtest
