#include "ComPorts.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace platform {

namespace {

constexpr int kMaxPort = 255;

// n for "COMn" with n from 1 to 255 written without leading zeros, else 0.
int PortNumber(const QString& name) {
    if (!name.startsWith(QLatin1String("COM")))
        return 0;
    const QStringView digits = QStringView(name).mid(3);
    if (digits.isEmpty() || digits.size() > 3 || digits.front() == u'0')
        return 0;
    for (QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
    }
    const int n = digits.toInt();
    return n <= kMaxPort ? n : 0;
}

QString Environment(const char* name) {
    return QString::fromLocal8Bit(qgetenv(name));
}

QString PortPath(int number) {
    const QString entry = ComPortsFolder() + QLatin1String("/COM") + QString::number(number);
    struct stat st;
    // The entry itself counts, even a dangling link: the user named that device.
    if (::lstat(QFile::encodeName(entry).constData(), &st) == 0)
        return entry;
    const int index = (number - 1) % 32;
    switch ((number - 1) / 32) {
    case 0:
        return QStringLiteral("/dev/ttyS%1").arg(index);
    case 1:
        return QStringLiteral("/dev/ttyUSB%1").arg(index);
    case 2:
        return QStringLiteral("/dev/ttyACM%1").arg(index);
    default:
        return QString();
    }
}

bool IsCharacterDevice(const QString& path) {
    struct stat st;
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
           S_ISCHR(st.st_mode);
}

} // namespace

QString ComPortsFolder() {
    const QString own = Environment("VENDRILL_PORTS_DIR");
    if (!own.isEmpty())
        return own;
    QString config = Environment("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QLatin1String("/.config");
    return config + QLatin1String("/Vendrill/ports");
}

QString ResolveComPort(const QString& name) {
    const int number = PortNumber(name);
    return number ? PortPath(number) : QString();
}

QList<int> ComPortList() {
    QList<int> ports;
    for (int n = 1; n <= kMaxPort; ++n) {
        if (IsCharacterDevice(PortPath(n)))
            ports.append(n);
    }
    return ports;
}

} // namespace platform
