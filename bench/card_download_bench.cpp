// Card download speed: a 256 KiB file through the instrument simulator paced at
// 115200 baud 8N2, against what the line can carry. Prints bytes per second and the
// ratio to the line limit.
#include "CardFakes.h"
#include "Simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace cardtest;

namespace {

constexpr unsigned kPort = 11;
constexpr int32_t kBaud = 115200;
constexpr qsizetype kFileBytes = 256 * 1024;

// Per 128 data bytes: an 8-byte request and a 133-byte reply, 11 bits a byte at 8N2,
// and the 1.75 ms Modbus silence (t3.5 above 19200 baud) after each frame.
constexpr double kWireBytesPerQuarter = 8 + 133;
constexpr double kByteSeconds = 11.0 / kBaud;
constexpr double kGapSeconds = 0.00175;
constexpr double kQuarterSeconds = kWireBytesPerQuarter * kByteSeconds + 2 * kGapSeconds;
constexpr double kLineLimit = 128 / kQuarterSeconds; // data bytes per second
// The simulator paces only its replies and keeps no gaps: the most it can deliver.
constexpr double kReplyLimit = 128 / (133 * kByteSeconds);

int Fail(const QString& what) {
    std::fprintf(stderr, "card_download_bench: %s\n", qPrintable(what));
    return 1;
}

} // namespace

int main() {
    QTemporaryDir dir;
    if (!dir.isValid())
        return Fail(QStringLiteral("no temporary folder"));
    const std::string ports = dir.filePath("ports").toStdString();
    ::setenv("VENDRILL_PORTS_DIR", ports.c_str(), 1);

    FatImage image(dir.filePath("card.img"));
    const QByteArray content = VariedBytes(kFileBytes, 42);
    if (!image.Make(16384, 4) || !image.Put("/BENCH.BIN", content))
        return Fail(image.Error());

    sim::Options options;
    options.PortsDir = ports;
    options.Port = kPort;
    options.CardImage = image.Path().toStdString();
    options.Baud = kBaud;
    sim::Simulator simulator(options);
    std::string error;
    if (!simulator.Open(error))
        return Fail(QString::fromStdString(error));
    std::thread serving([&] { simulator.Serve(); });

    TPortSettings settings;
    settings.Port = kPort;
    settings.Speed = kBaud;
    settings.TimeOut = 1000;
    settings.Pause = 20;
    TVskComPort port(settings);
    TMMC reader;
    reader.Port = &port;
    int status = 0;
    if (!port.Open()) {
        status = Fail(port.LastError());
    } else if (!reader.Mount() || !reader.ReadDirectory()) {
        status = Fail(QStringLiteral("the card does not mount"));
    } else if (const auto entry = FindEntry(reader, "BENCH.BIN"); !entry) {
        status = Fail(QStringLiteral("BENCH.BIN is not listed"));
    } else {
        const QString target = dir.filePath("BENCH.BIN");
        QElapsedTimer timer;
        timer.start();
        const bool written = reader.DownloadFile(*entry, target);
        const double seconds = timer.nsecsElapsed() / 1e9;
        QFile f(target);
        if (!written || !f.open(QIODevice::ReadOnly) || f.readAll() != content) {
            status = Fail(QStringLiteral("the download differs from the card's file"));
        } else {
            const double rate = kFileBytes / seconds;
            std::printf("card download: %lld bytes in %.2f s = %.0f bytes/s\n",
                        static_cast<long long>(kFileBytes), seconds, rate);
            std::printf("line limit at %d baud 8N2 with t3.5 gaps: %.0f bytes/s "
                        "(%.0f without the gaps)\n",
                        kBaud, kLineLimit, 128 / (kWireBytesPerQuarter * kByteSeconds));
            std::printf("ratio to the line limit: %.2f\n", rate / kLineLimit);
            std::printf("ratio to the simulator's own pace (replies only, %.0f bytes/s): %.2f\n",
                        kReplyLimit, rate / kReplyLimit);
        }
    }
    simulator.Stop();
    serving.join();
    ::unsetenv("VENDRILL_PORTS_DIR");
    return status;
}
