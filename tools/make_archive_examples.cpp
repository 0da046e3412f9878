// Writes the viewer's example archives: a plain ".csv" and an enciphered ".xxx" table of
// time-stamped records with 64 values, each with a few bad cells to show.
//   make-archive-examples <folder>
#include "CodePage.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <QString>
#include <QTextStream>
#include <cmath>
#include <cstdio>

namespace {

QByteArray Header() {
    QByteArray h = "Time;Error;";
    for (int i = 1; i <= 64; ++i)
        h += QByteArray::number(i) + ';';
    return h;
}

struct BadCell {
    int row;    // 1 = first record
    int column; // 0 = time, 2.. = values
    const char* text;
};

QByteArray Archive(int rows, int startSeconds, int stepSeconds, const BadCell* bad, int badCount) {
    QByteArray text = Header() + "\r\n";
    for (int r = 1; r <= rows; ++r) {
        const int t = startSeconds + (r - 1) * stepSeconds;
        QStringList cells;
        cells << QString::asprintf("%02d:%02d:%02d", t / 3600 % 24, t / 60 % 60, t % 60);
        cells << (r % 37 == 0   ? QStringLiteral("Обрыв датчика 12")
                  : r % 53 == 0 ? QStringLiteral("Перегрев")
                                : QString());
        for (int ch = 1; ch <= 64; ++ch) {
            if (ch > 60) // channels without a sensor
                cells << QString();
            else if (ch == 12 && r % 37 == 0)
                cells << "NaN";
            else {
                const double v = (ch * 1.5) + (5.0 + ch % 7) * std::sin(r / 9.0 + ch) -
                                 (ch % 5 == 0 ? 40.0 : 0.0);
                cells << QString::number(v, 'f', ch % 3 + 1);
            }
        }
        for (int i = 0; i < badCount; ++i)
            if (bad[i].row == r)
                cells[bad[i].column] = bad[i].text;
        text += platform::ToCodePage(cells.join(';') + ';') + "\r\n";
    }
    return text;
}

// 16-bit little-endian words XOR 3A7C; an odd last byte stays plain.
QByteArray Encipher(QByteArray bytes) {
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        bytes[i] = char(uchar(bytes[i]) ^ 0x7C);
        bytes[i + 1] = char(uchar(bytes[i + 1]) ^ 0x3A);
    }
    return bytes;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        std::fprintf(stderr, "make-archive-examples: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-archive-examples <folder>\n");
        return 2;
    }
    platform::RequireCodePage();
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "make-archive-examples: cannot make %s\n", argv[1]);
        return 1;
    }

    // A value with two separators, a word, a comma as separator, an impossible time; the
    // value that begins with E shows as bad but is not counted.
    const BadCell enciphered[] = {
        {17, 5, "12.3.4"}, {42, 20, "abc"}, {77, 0, "25:61:00"}, {90, 33, "1,5"}, {120, 8, "E05"}};
    const BadCell plain[] = {{9, 3, "--"}, {23, 0, "12:7x:00"}, {31, 40, "7.5e"}};
    const bool ok =
        Write(folder + "/archive-enciphered.xxx",
              Encipher(Archive(200, 8 * 3600, 30, enciphered, 5))) &&
        Write(folder + "/archive-plain.csv", Archive(60, 13 * 3600 + 15 * 60, 60, plain, 3));
    return ok ? 0 : 1;
}
