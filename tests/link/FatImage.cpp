#include "FatImage.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
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

bool FatImage::Make(unsigned sizeKiB, unsigned secPerClus) {
    QFile::remove(path_);
    QStringList args = {QStringLiteral("-F"), QStringLiteral("16"), QStringLiteral("-s"),
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

} // namespace cardtest
