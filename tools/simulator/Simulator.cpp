#include "Simulator.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <modbus.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

// The card's register window: page select at 999, quarter reads at 999 + 4 x sector + q.
constexpr uint16_t kCardBase = 999;
constexpr uint16_t kCardQuarters = 256 * 4;
constexpr uint16_t kQuarterRegisters = 64;
constexpr int kQuarterBytes = 128;
constexpr int kSectorBytes = 512;
constexpr unsigned kExceptionNoCard = 8;

// Bits on the wire per byte at 8N2: start, 8 data, 2 stop.
constexpr int64_t kBitsPerByte = 11;

static_assert(std::atomic<bool>::is_always_lock_free, "flags are set from signal handlers");

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void CloseFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool MakePipe(int fds[2]) {
    return ::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0;
}

struct ModbusFree {
    void operator()(modbus_t* ctx) const { modbus_free(ctx); }
};
using ModbusPtr = std::unique_ptr<modbus_t, ModbusFree>;

} // namespace

struct Simulator::Impl {
    Impl(Options o, platform::Clock& c) : options(std::move(o)), clock(c), registers(65536, 0) {
        for (const auto& [address, value] : options.Registers)
            registers[address] = value;
        // Functions 3 and 4 read one and the same map; there are no coils or inputs.
        mapping.nb_registers = mapping.nb_input_registers = static_cast<int>(registers.size());
        mapping.tab_registers = mapping.tab_input_registers = registers.data();
        faults = options.Faults;
    }

    Options options;
    platform::Clock& clock;
    std::vector<uint16_t> registers;
    modbus_mapping_t mapping{};
    std::vector<Fault> faults;
    unsigned requests = 0; // requests for this slave since the faults were set
    uint16_t page = 0;

    // Requests come in on the pseudo-terminal's master side; every reply is made by
    // libmodbus into the capture pipe, so that faults can be put on it before it goes out.
    ModbusPtr receiver;
    ModbusPtr replier;
    int master = -1;
    int slave = -1; // held open so that the master side never sees a hang-up
    int card = -1;
    int captureRead = -1, captureWrite = -1;
    int wakeRead = -1, wakeWrite = -1;
    std::string device;
    std::string link;
    bool linked = false;

    std::atomic<bool> stop{false};
    std::atomic<bool> reload{false};

    bool OpenPty(std::string& error);
    bool MakeLink(std::string& error);
    void RemoveLink();
    bool ResetReceiver();

    bool Hits(const Fault& f) const { return requests % f.Every == 0; }
    const Fault* Active(FaultKind kind) const {
        for (const Fault& f : faults)
            if (f.Kind == kind && Hits(f))
                return &f;
        return nullptr;
    }

    template <typename Send> std::vector<uint8_t> Capture(Send send);
    std::vector<uint8_t> RawReply(const std::vector<uint8_t>& pdu);
    std::vector<uint8_t> CardQuarter(const uint8_t* request, unsigned quarterIndex);
    std::vector<uint8_t> Answer(const uint8_t* request, int length);
    std::vector<uint8_t> Respond(const uint8_t* request, int length, unsigned& delayMs);
    void Pause(int64_t ms);
    bool WriteAll(const uint8_t* data, size_t count);
    void Transmit(const std::vector<uint8_t>& reply, unsigned delayMs);
};

Simulator::Simulator(Options options, platform::Clock& clock)
    : impl_(std::make_unique<Impl>(std::move(options), clock)) {
    int fds[2];
    if (MakePipe(fds)) {
        impl_->wakeRead = fds[0];
        impl_->wakeWrite = fds[1];
    }
}

Simulator::~Simulator() {
    Impl& s = *impl_;
    s.RemoveLink();
    s.receiver.reset();
    s.replier.reset();
    for (int* fd :
         {&s.master, &s.slave, &s.card, &s.captureRead, &s.captureWrite, &s.wakeRead, &s.wakeWrite})
        CloseFd(*fd);
}

bool Simulator::Open(std::string& error) {
    Impl& s = *impl_;
    if (s.wakeRead < 0) {
        error = "cannot make the wake-up pipe";
        return false;
    }
    int fds[2];
    if (!MakePipe(fds)) {
        error = Errno("cannot make the reply pipe");
        return false;
    }
    s.captureRead = fds[0];
    s.captureWrite = fds[1];
    if (!s.options.CardImage.empty()) {
        s.card = ::open(s.options.CardImage.c_str(), O_RDONLY | O_CLOEXEC);
        if (s.card < 0) {
            error = Errno("cannot open card image " + s.options.CardImage);
            return false;
        }
    }
    if (!s.OpenPty(error))
        return false;
    s.replier.reset(modbus_new_rtu(s.device.c_str(), 9600, 'N', 8, 2));
    if (!s.replier || !s.ResetReceiver() ||
        modbus_set_socket(s.replier.get(), s.captureWrite) != 0) {
        error = "cannot set up libmodbus";
        return false;
    }
    return s.MakeLink(error);
}

bool Simulator::Impl::OpenPty(std::string& error) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        error = Errno("cannot open a pseudo-terminal");
        return false;
    }
    char name[128];
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        error = Errno("cannot unlock the pseudo-terminal");
        return false;
    }
    device = name;
    slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave < 0 || ::tcgetattr(slave, &tio) != 0) {
        error = Errno("cannot open " + device);
        return false;
    }
    // Raw from the start: an echo would send our replies back to us as requests.
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | CSTOPB;
    if (::tcsetattr(slave, TCSANOW, &tio) != 0) {
        error = Errno("cannot set " + device + " raw");
        return false;
    }
    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        error = Errno("cannot set the pseudo-terminal non-blocking");
        return false;
    }
    return true;
}

// libmodbus takes a frame for another slave as that slave's request and then skips the
// next frame as its reply. A point-to-point line carries no such reply, so a fresh
// receiver forgets it and only the foreign frame is ignored.
bool Simulator::Impl::ResetReceiver() {
    receiver.reset(modbus_new_rtu(device.c_str(), 9600, 'N', 8, 2));
    return receiver && modbus_set_slave(receiver.get(), static_cast<int>(options.Address)) == 0 &&
           modbus_set_slave(replier.get(), static_cast<int>(options.Address)) == 0 &&
           modbus_set_socket(receiver.get(), master) == 0;
}

bool Simulator::Impl::MakeLink(std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(options.PortsDir, ec);
    if (ec) {
        error = "cannot make the ports folder " + options.PortsDir + ": " + ec.message();
        return false;
    }
    link =
        (std::filesystem::path(options.PortsDir) / ("COM" + std::to_string(options.Port))).string();
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        // A link whose device is gone was left by a simulator that was killed.
        struct stat target {};
        if (!S_ISLNK(st.st_mode) || ::stat(link.c_str(), &target) == 0) {
            error = link + " exists already (another simulator's port?); remove it or pick "
                           "another --port";
            return false;
        }
        ::unlink(link.c_str());
    }
    if (::symlink(device.c_str(), link.c_str()) != 0) {
        error = Errno("cannot make the link " + link);
        return false;
    }
    linked = true;
    return true;
}

void Simulator::Impl::RemoveLink() {
    if (!linked)
        return;
    char target[256];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<size_t>(n)) == device)
        ::unlink(link.c_str());
    linked = false;
}

const std::string& Simulator::DevicePath() const {
    return impl_->device;
}
const std::string& Simulator::LinkPath() const {
    return impl_->link;
}

std::string Simulator::ReadyLine() const {
    return "ready COM" + std::to_string(impl_->options.Port) + " " + impl_->device;
}

void Simulator::Stop() {
    impl_->stop = true;
    const char c = 's';
    [[maybe_unused]] ssize_t n = ::write(impl_->wakeWrite, &c, 1);
}

void Simulator::RequestReload() {
    impl_->reload = true;
    const char c = 'r';
    [[maybe_unused]] ssize_t n = ::write(impl_->wakeWrite, &c, 1);
}

void Simulator::SetFaults(std::vector<Fault> faults) {
    impl_->faults = std::move(faults);
    impl_->requests = 0;
}

uint16_t Simulator::Register(uint16_t address) const {
    return impl_->registers[address];
}
uint16_t Simulator::Page() const {
    return impl_->page;
}

void Simulator::SetRegister(uint16_t address, uint16_t value) {
    impl_->registers[address] = value;
}

bool Simulator::ServeOne(int timeoutMs) {
    Impl& s = *impl_;
    pollfd fds[2] = {{s.wakeRead, POLLIN, 0}, {s.master, POLLIN, 0}};
    const int ready = ::poll(fds, 2, timeoutMs);
    char drain[64];
    while (::read(s.wakeRead, drain, sizeof drain) > 0) {
    }
    // A signal handler runs before poll returns to us, so a reload asked for before a
    // request was written is seen here, before that request is read.
    if (s.stop || s.reload || ready <= 0 || !(fds[1].revents & POLLIN))
        return false;

    uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive(s.receiver.get(), request);
    if (length == 0) {
        s.ResetReceiver();
        return false;
    }
    if (length < 0) {
        // Bad CRC or a broken frame: throw away what is left of it.
        ::tcflush(s.master, TCIFLUSH);
        return false;
    }
    unsigned delayMs = 0;
    const std::vector<uint8_t> reply = s.Respond(request, length, delayMs);
    s.Transmit(reply, delayMs);
    return true;
}

void Simulator::Serve() {
    Impl& s = *impl_;
    while (!s.stop) {
        ServeOne(-1);
        if (!s.reload.exchange(false))
            continue;
        std::vector<Fault> faults;
        std::string error = "no control file was given (--control)";
        if (!s.options.ControlFile.empty() && LoadFaultFile(s.options.ControlFile, faults, error)) {
            SetFaults(std::move(faults));
            std::printf("reloaded\n");
        } else {
            std::fprintf(stderr, "vendrill-sim: %s\n", error.c_str());
            std::printf("reload failed\n");
        }
        std::fflush(stdout);
    }
}

template <typename Send> std::vector<uint8_t> Simulator::Impl::Capture(Send send) {
    std::vector<uint8_t> out;
    if (send() < 0)
        return out;
    uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
    ssize_t n;
    while ((n = ::read(captureRead, chunk, sizeof chunk)) > 0)
        out.insert(out.end(), chunk, chunk + n);
    return out;
}

// A reply that libmodbus has no function for: it adds the CRC.
std::vector<uint8_t> Simulator::Impl::RawReply(const std::vector<uint8_t>& pdu) {
    return Capture([&] {
        return modbus_send_raw_request(replier.get(), pdu.data(), static_cast<int>(pdu.size()));
    });
}

std::vector<uint8_t> Simulator::Impl::CardQuarter(const uint8_t* request, unsigned quarterIndex) {
    const auto exception = [&](unsigned code) {
        return Capture([&] { return modbus_reply_exception(replier.get(), request, code); });
    };
    if (card < 0)
        return exception(kExceptionNoCard);
    const uint64_t sector = uint64_t{page} * 256 + quarterIndex / 4;
    const uint64_t offset = sector * kSectorBytes + (quarterIndex % 4) * kQuarterBytes;
    std::vector<uint8_t> pdu = {request[0], MODBUS_FC_READ_HOLDING_REGISTERS, kQuarterBytes};
    pdu.resize(3 + kQuarterBytes);
    if (::pread(card, pdu.data() + 3, kQuarterBytes, static_cast<off_t>(offset)) != kQuarterBytes)
        return exception(MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
    return RawReply(pdu);
}

std::vector<uint8_t> Simulator::Impl::Answer(const uint8_t* request, int length) {
    const uint8_t address = request[0];
    const uint8_t function = request[1];
    const bool broadcast = address == 0;
    if (function == MODBUS_FC_REPORT_SLAVE_ID) {
        if (broadcast)
            return {};
        std::vector<uint8_t> pdu(3 + options.Id.size());
        pdu[0] = address;
        pdu[1] = MODBUS_FC_REPORT_SLAVE_ID;
        pdu[2] = static_cast<uint8_t>(options.Id.size());
        std::copy(options.Id.begin(), options.Id.end(), pdu.begin() + 3);
        return RawReply(pdu);
    }
    if (length >= 8) {
        const uint16_t reg = static_cast<uint16_t>(request[2] << 8 | request[3]);
        const uint16_t word = static_cast<uint16_t>(request[4] << 8 | request[5]);
        if (function == MODBUS_FC_READ_HOLDING_REGISTERS && word == kQuarterRegisters &&
            reg >= kCardBase && reg < kCardBase + kCardQuarters)
            return broadcast ? std::vector<uint8_t>{} : CardQuarter(request, reg - kCardBase);
        if (function == MODBUS_FC_WRITE_SINGLE_REGISTER && reg == kCardBase)
            page = word; // and the map takes it too, answered as any register write
    }
    return Capture([&] { return modbus_reply(replier.get(), request, length, &mapping); });
}

std::vector<uint8_t> Simulator::Impl::Respond(const uint8_t* request, int length,
                                              unsigned& delayMs) {
    ++requests;
    delayMs = 0;
    if (Active(FaultKind::Drop))
        return {};
    std::vector<uint8_t> reply;
    const Fault* exception = Active(FaultKind::Exception);
    if (exception == nullptr)
        reply = Answer(request, length);
    else if (request[0] != 0) // a broadcast is never answered, not even with an exception
        reply = Capture(
            [&] { return modbus_reply_exception(replier.get(), request, exception->Value); });
    if (reply.empty())
        return reply;
    if (Active(FaultKind::BadCrc))
        reply.back() ^= 0xFF;
    if (const Fault* f = Active(FaultKind::Truncate)) {
        const size_t kept = f->Value == 0 ? reply.size() - 1 : f->Value;
        if (kept < reply.size())
            reply.resize(kept);
    }
    for (const Fault& f : faults)
        if (f.Kind == FaultKind::Delay && Hits(f))
            delayMs += f.Value;
    return reply;
}

// Sleeps in short steps so that a stop request does not wait for a long delay.
void Simulator::Impl::Pause(int64_t ms) {
    while (ms > 0 && !stop) {
        const int64_t step = std::min<int64_t>(ms, 50);
        clock.SleepMs(step);
        ms -= step;
    }
}

bool Simulator::Impl::WriteAll(const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(master, data, count);
        if (n > 0) {
            data += n;
            count -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // The client does not read and the line is full: what does not fit is lost.
        pollfd out = {master, POLLOUT, 0};
        if (n < 0 && errno != EAGAIN)
            return false;
        if (::poll(&out, 1, 1000) <= 0)
            return false;
    }
    return true;
}

void Simulator::Impl::Transmit(const std::vector<uint8_t>& reply, unsigned delayMs) {
    if (reply.empty())
        return;
    Pause(delayMs);
    const size_t count = reply.size();
    if (options.Baud == 0) {
        WriteAll(reply.data(), count);
        return;
    }
    // Byte i is handed over once it would have wholly arrived on the wire.
    const int64_t baud = options.Baud;
    const auto arrival = [&](size_t i) {
        return (static_cast<int64_t>(i + 1) * kBitsPerByte * 1000 + baud - 1) / baud;
    };
    const int64_t start = clock.NowMs();
    size_t sent = 0;
    while (sent < count && !stop) {
        const int64_t elapsed = clock.NowMs() - start;
        size_t due = sent;
        while (due < count && arrival(due) <= elapsed)
            ++due;
        if (due > sent) {
            if (!WriteAll(reply.data() + sent, due - sent))
                return;
            sent = due;
        } else {
            clock.SleepMs(arrival(sent) - elapsed);
        }
    }
}

} // namespace sim
