// Opens a generated 500,000-row enciphered archive in the main window, offscreen, and
// prints the time to the first paint and the peak memory, beside a minimal pass that only
// reads, deciphers and splits the lines.
//   viewer_open_bench [rows]
#include "ArchiveFormat.h"
#include "Main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

namespace {

// Resident set size and its peak, in bytes, from /proc.
qint64 StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(std::string(field).size()));
    }
    return -1;
}
qint64 Rss() {
    return StatusKb("VmRSS:") * 1024;
}
qint64 PeakRss() {
    return StatusKb("VmHWM:") * 1024;
}
// Makes the peak start again from the current size.
void ResetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

QByteArray Generate(int rows) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> value(-99999, 999999);
    QByteArray text = viewer::kArchiveHeader.toByteArray() + "\r\n";
    text.reserve(qsizetype(rows) * 480);
    char cell[32];
    for (int r = 0; r < rows; ++r) {
        const int s = r % 86400;
        std::snprintf(cell, sizeof cell, "%02d:%02d:%02d;", s / 3600, s / 60 % 60, s % 60);
        text += cell;
        text += r % 1000 == 0 ? "\xce\xf8\xe8\xe1\xea\xe0;" : "0;"; // "Ошибка" now and then
        for (int c = 0; c < 64; ++c) {
            if (r % 10000 == 7 && c == 5) {
                text += "x;"; // a bad cell
            } else if (c == 63 && r % 50 == 0) {
                text += "NaN;";
            } else {
                const int v = value(random);
                std::snprintf(cell, sizeof cell, "%s%d,%02d;", v < 0 ? "-" : "", std::abs(v) / 100,
                              std::abs(v) % 100);
                text += cell;
            }
        }
        text += "\r\n";
    }
    viewer::DecipherArchive(text, viewer::kArchiveKey); // its own inverse: enciphers
    return text;
}

double Ms(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 500000;

    QTemporaryDir dir;
    const QString path = dir.filePath("bench.xxx");
    qint64 fileSize = 0;
    {
        const QByteArray bytes = Generate(rows);
        fileSize = bytes.size();
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    std::printf("archive: %d rows, %.1f MB enciphered\n", rows, fileSize / 1e6);

    // The minimal pass, best of three with the file in the page cache.
    double minimalMs = 1e30;
    qint64 minimalPeak = 0;
    for (int run = 0; run < 4; ++run) {
        const qint64 before = Rss();
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        QByteArray bytes;
        viewer::ReadArchiveFile(path, bytes);
        viewer::DecipherArchive(bytes, viewer::kArchiveKey);
        TArchiveLines lines;
        lines.Assign(bytes);
        const double ms = Ms(timer);
        if (lines.Count() != rows + 1)
            std::fprintf(stderr, "unexpected line count %lld\n", qlonglong(lines.Count()));
        if (run > 0) {
            minimalMs = std::min(minimalMs, ms);
            minimalPeak = std::max(minimalPeak, PeakRss() - before);
        }
        if (run == 3) {
            TDataGrid grid;
            grid.Assign(lines, viewer::kArchiveColumns);
            TRegionalSettings comma;
            comma.DecimalSeparator = ",";
            timer.restart();
            const qint64 bad = viewer::CountBadCells(grid, comma);
            std::printf("validation alone: %.1f ms (%lld bad cells)\n", Ms(timer), qlonglong(bad));
        }
    }

    TTolvaForm form;
    form.resize(1280, 800);
    TRegionalSettings comma;
    comma.DecimalSeparator = ",";
    form.SetRegionalSettings(comma);
    qint64 painted = 0;
    const TDrawCellEvent draw = form.ViewGrid->OnDrawCell;
    form.ViewGrid->OnDrawCell = [&](QPainter& p, int c, int r, const QRect& rect,
                                    TGridDrawState s) {
        ++painted;
        draw(p, c, r, rect, s);
    };
    form.show();
    app.processEvents();

    double openMs = 1e30;
    qint64 openPeak = 0;
    for (int run = 0; run < 3; ++run) {
        form.ClearView();
        app.processEvents();
        painted = 0;
        const qint64 before = Rss();
        ResetPeak();
        QElapsedTimer timer;
        timer.start();
        const bool opened = form.OpenArchive(path); // the error question answers OK
        app.processEvents();
        const double ms = Ms(timer);
        if (!opened || painted == 0 || form.ViewGrid->RowCount() != rows + 1)
            std::fprintf(stderr, "open failed or nothing painted\n");
        openMs = std::min(openMs, ms);
        openPeak = std::max(openPeak, PeakRss() - before);
    }
    std::printf("minimal pass (read, decipher, split): %8.1f ms, peak +%.1f MB\n", minimalMs,
                minimalPeak / 1e6);
    std::printf(
        "open to first paint:                  %8.1f ms, peak +%.1f MB (%lld cells painted)\n",
        openMs, openPeak / 1e6, qlonglong(painted));
    std::printf("ratio open / minimal: %.2f; peak / file size: %.2f\n", openMs / minimalMs,
                double(openPeak) / fileSize);

    // The settings dialog's path: the same table again, then with a new font.
    QElapsedTimer timer;
    timer.start();
    form.ShowTable();
    app.processEvents();
    const double reshowMs = Ms(timer);
    QFont big = form.GridFont();
    big.setPointSize(big.pointSize() + 4);
    form.SetGridFont(big);
    timer.restart();
    form.ShowTable();
    app.processEvents();
    std::printf("show again: %.1f ms; with a new font: %.1f ms\n", reshowMs, Ms(timer));
    return 0;
}
