#include "FatImage.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace cardtest {

namespace {
constexpr int kToolTimeoutMs = 60000;

QStringList ImageArgs(const QString& path, uint32_t offset) {
    return {QStringLiteral("-i"),
            offset ? path + QStringLiteral("@@") + QString::number(uint64_t{offset} * 512) : path};
}
} // namespace

FatImage::FatImage(QString path, uint32_t offsetSectors)
    : path_(std::move(path)), offset_(offsetSectors) {}

bool FatImage::Run(const QString& tool, const QStringList& args, QByteArray* out) {
    QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty()) // mkfs.fat lives in sbin, which a user's PATH may lack
        program = QStandardPaths::findExecutable(
            tool, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    if (program.isEmpty()) {
        error_ = tool + QStringLiteral(" is not installed (tools/install-deps)");
        return false;
    }
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MTOOLS_SKIP_CHECK"), QStringLiteral("1"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(kToolTimeoutMs)) {
        p.kill();
        p.waitForFinished();
        error_ = tool + QStringLiteral(" did not finish");
        return false;
    }
    const QByteArray stdOut = p.readAllStandardOutput();
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        error_ = tool + QLatin1Char(' ') + args.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                 QString::fromLocal8Bit(p.readAllStandardError());
        return false;
    }
    if (out)
        *out = stdOut;
    return true;
}

QString FatImage::Target(const QString& cardPath) const {
    return QStringLiteral("::") + cardPath;
}

bool FatImage::Make(unsigned sizeKiB, unsigned secPerClus, unsigned fatBits) {
    QFile::remove(path_);
    QStringList args = {QStringLiteral("-F"), QString::number(fatBits), QStringLiteral("-s"),
                        QString::number(secPerClus)};
    if (offset_)
        args << QStringLiteral("--offset") << QString::number(offset_);
    args << QStringLiteral("-C") << path_ << QString::number(sizeKiB);
    return Run(QStringLiteral("mkfs.fat"), args);
}

bool FatImage::WritePartitionTable(uint32_t volumeSectors) {
    QFile f(path_);
    if (!f.open(QIODevice::ReadWrite)) {
        error_ = f.errorString();
        return false;
    }
    QByteArray sector(512, '\0');
    sector[0x1BE + 4] = 0x06;
    for (int i = 0; i < 4; ++i) {
        sector[0x1C6 + i] = static_cast<char>(offset_ >> (8 * i));
        sector[0x1CA + i] = static_cast<char>(volumeSectors >> (8 * i));
    }
    sector[0x1FE] = 0x55;
    sector[0x1FF] = static_cast<char>(0xAA);
    return f.write(sector) == 512;
}

bool FatImage::MakeDir(const QString& cardPath) {
    return Run(QStringLiteral("mmd"), ImageArgs(path_, offset_) << Target(cardPath));
}

bool FatImage::Put(const QString& cardPath, const QByteArray& content) {
    const QString local = path_ + QStringLiteral(".put");
    QFile f(local);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size()) {
        error_ = f.errorString();
        return false;
    }
    f.close();
    const bool ok =
        Run(QStringLiteral("mcopy"), ImageArgs(path_, offset_) << local << Target(cardPath));
    QFile::remove(local);
    return ok;
}

QByteArray FatImage::Extract(const QString& cardPath) {
    QByteArray out;
    Run(QStringLiteral("mcopy"),
        ImageArgs(path_, offset_) << Target(cardPath) << QStringLiteral("-"), &out);
    return out;
}

QByteArray FatImage::Bytes() const {
    QFile f(path_);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray VariedBytes(qsizetype size, quint32 seed) {
    QByteArray d(size, '\0');
    QRandomGenerator g(seed);
    for (qsizetype i = 0; i < size; ++i)
        d[i] = static_cast<char>(g.generate());
    return d;
}

const std::vector<ExampleFile>& ExampleFiles() {
    static const std::vector<ExampleFile> files = {
        {"EMPTY.BIN", 0},       {"SECTOR.BIN", 512},     {"CLUSTER.BIN", 3 * 2048},
        {"BIG.DAT", 307323},    {"NOEXT", 1000},         {"A/ALPHA.DAT", 2049},
        {"A/B/BETA", 4096},     {"A/B/C/DEEP.TXT", 777}, {"A/B/C/EXACT.BIN", 2048},
        {"LONGFI~1.TEX", 3000},
    };
    return files;
}

QStringList ExampleRoot() {
    return {"A/",        "BIG.DAT",      "CLUSTER.BIN", "EMPTY.BIN",
            "EMPTYDIR/", "LONGFI~1.TEX", "NOEXT",       "SECTOR.BIN"};
}

bool MakeExampleCard(FatImage& image, unsigned sizeKiB) {
    if (!image.Make(sizeKiB, 4))
        return false;
    for (const char* folder : {"/A", "/A/B", "/A/B/C", "/EMPTYDIR"})
        if (!image.MakeDir(QString::fromLatin1(folder)))
            return false;
    quint32 seed = 1;
    for (const ExampleFile& f : ExampleFiles()) {
        // The long name goes on the card as itself; mtools makes up the short one.
        const QString path = f.path.startsWith(QStringLiteral("LONGFI"))
                                 ? QStringLiteral("Long file name.text")
                                 : f.path;
        if (!image.Put(QLatin1Char('/') + path, VariedBytes(f.size, seed++)))
            return false;
    }
    return true;
}

} // namespace cardtest
