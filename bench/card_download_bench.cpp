// Card download speed: a 256 KiB file through the instrument simulator paced at
// 115200 baud 8N2. Prints bytes per second against what a real line can carry and,
// separately, against the pace that the simulator itself keeps.
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

// Per 128 data bytes a real line carries an 8-byte request and a 133-byte reply, 11
// bits a character at 8N2, each frame after a silence of 3.5 characters.
constexpr double kCharSeconds = 11.0 / kBaud;
constexpr double kRequestChars = 8;
constexpr double kReplyChars = 133;
constexpr double kSilenceChars = 3.5;
constexpr double kQuarterSeconds = (kRequestChars + kReplyChars + 2 * kSilenceChars) * kCharSeconds;
constexpr double kLineLimit = 128 / kQuarterSeconds; // data bytes per second
// The simulator paces only its replies and keeps no silences.
constexpr double kSimulatorPace = 128 / (kReplyChars * kCharSeconds);

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
            std::printf("line limit at %d baud 8N2: %.0f bytes/s (%.0f-byte request, "
                        "%.0f-byte reply, %.1f characters of silence before each: "
                        "%.2f ms per 128 bytes)\n",
                        kBaud, kLineLimit, kRequestChars, kReplyChars, kSilenceChars,
                        kQuarterSeconds * 1000);
            std::printf("ratio to the line limit: %.2f%s\n", rate / kLineLimit,
                        rate > kLineLimit ? " (above 1 only because the simulator does not "
                                            "pace requests and silences)"
                                          : "");
            std::printf("simulator's own pace (replies only, no request, no silence): "
                        "%.0f bytes/s\n",
                        kSimulatorPace);
            std::printf("ratio to the simulator's own pace: %.2f\n", rate / kSimulatorPace);
        }
    }
    simulator.Stop();
    serving.join();
    ::unsetenv("VENDRILL_PORTS_DIR");
    return status;
}
