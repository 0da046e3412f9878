#include "VaskRegistry.h"

#include "FileReplace.h"
#include "WholeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QString kProgramName = QStringLiteral("Brisquel");
const QString kDesktopId = QStringLiteral("brisquel.desktop");

QString WriteFailure(const QString& path) {
    return QStringLiteral("Неудалось записать фаил") + QDir::toNativeSeparators(path);
}

// Writes the whole file or nothing; a file that already holds the bytes is left alone.
// Only a regular file is read or replaced: a FIFO there would hold the read up for a writer.
void WriteFileOnce(const QString& path, const QByteArray& content) {
    QByteArray existing;
    if (platform::ReadWholeFile(path, existing) && existing == content)
        return;
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        throw ERegistryError(WriteFailure(path));
    platform::ReplacingFile file(path);
    if (!file.Open() || !file.Write(content) || !file.Commit())
        throw ERegistryError(WriteFailure(path));
}

// The file as it stands, empty when there is none. One that is there but cannot be read
// (or is no regular file) is not rewritten: its other lines would be lost.
QByteArray ReadFileOrEmpty(const QString& path) {
    if (!QFile::exists(path))
        return {};
    QByteArray bytes;
    if (!platform::ReadWholeFile(path, bytes))
        throw ERegistryError(WriteFailure(path));
    return bytes;
}

QByteArray MimePackage(const QString& ext, const QString& typeName) {
    QByteArray xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartDocument();
    w.writeDefaultNamespace("http://www.freedesktop.org/standards/shared-mime-info");
    w.writeStartElement("mime-info");
    w.writeStartElement("mime-type");
    w.writeAttribute("type", filetype::MimeTypeName(typeName));
    w.writeTextElement("comment", typeName);
    w.writeEmptyElement("icon");
    w.writeAttribute("name", filetype::IconName(typeName));
    w.writeEmptyElement("glob");
    w.writeAttribute("pattern", ext.startsWith('.') ? "*" + ext : "*." + ext);
    w.writeEndElement();
    w.writeEndElement();
    w.writeEndDocument();
    return xml;
}

QByteArray DesktopEntry(const QString& programPath, const QString& typeName) {
    QString entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Version=1.0\n";
    entry += "Name=" + kProgramName + "\n";
    entry += "Exec=" + filetype::ExecLine(programPath) + "\n";
    entry += "Icon=" + filetype::IconName(typeName) + "\n";
    entry += "MimeType=" + filetype::MimeTypeName(typeName) + ";\n";
    entry += "Terminal=false\n";
    // Only an opening program for the type, not a menu entry of its own.
    entry += "NoDisplay=true\n";
    return entry.toUtf8();
}

// Started, not waited for: a tool held up by a lock or a slow home must not freeze the
// window, and what it does is the desktop's, not the association's. Nor does it hold any of
// the program's descriptors: whoever reads the program's output sees its end when the
// program ends, not when the tool does. Standard input, output and error are the null
// device, and nothing else passes: a caller's pipe may stand on a further descriptor too
// (bash hands `> >(...)` on as 63), and a detached QProcess passes every one that is not
// closed on exec. The child between ends at once, leaving the tool to init.
void RunInstalledTool(const QString& program, const QStringList& args) {
    const QString exe = QStandardPaths::findExecutable(program);
    if (exe.isEmpty())
        return;
    std::vector<QByteArray> words{QFile::encodeName(exe)};
    for (const QString& arg : args)
        words.push_back(QFile::encodeName(arg));
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    // Above the standard streams, so that putting it on them clears its close-on-exec.
    const int opened = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const int null = opened < 0 ? -1 : ::fcntl(opened, F_DUPFD_CLOEXEC, 3);
    if (opened >= 0)
        ::close(opened);
    if (null < 0)
        return;
    struct rlimit files {};
    const int highest = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY
                            ? int(std::min<rlim_t>(files.rlim_cur, 1 << 20))
                            : 1 << 16;
    // Only calls that are safe in the child of a program with threads.
    const pid_t child = ::fork();
    if (child == 0) {
        if (::fork() == 0) {
            ::setsid();
            if (::dup2(null, 0) == 0 && ::dup2(null, 1) == 1 && ::dup2(null, 2) == 2) {
                if (::close_range(3, ~0U, 0) != 0)
                    for (int fd = 3; fd < highest; ++fd)
                        ::close(fd);
                ::execv(argv[0], argv.data());
            }
        }
        ::_exit(0);
    }
    ::close(null);
    if (child > 0)
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
}

} // namespace

namespace filetype {

QString MimeTypeName(const QString& typeName) {
    return "application/x-" + typeName.toLower();
}

QString IconName(const QString& typeName) {
    return MimeTypeName(typeName).replace('/', '-');
}

QString ExecLine(const QString& programPath) {
    // The quoting rule of Exec: inside double quotes, '"', '`', '$' and '\' take a
    // backslash; '%' is doubled as it is a field code otherwise.
    QString quoted = "\"";
    for (QChar c : programPath) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += "\" %f";
    // The string escapes of a desktop entry apply before the quoting rule is read.
    QString escaped;
    for (QChar c : quoted) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    return escaped;
}

QByteArray WithDefaultApplication(const QByteArray& mimeappsList, const QString& mimeType,
                                  const QString& desktopId) {
    QList<QByteArray> lines = mimeappsList.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    const QByteArray entry = (mimeType + "=" + desktopId).toUtf8();
    const QByteArray key = mimeType.toUtf8();

    auto isGroup = [](const QByteArray& line) { return line.trimmed().startsWith('['); };
    qsizetype group = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].trimmed() == "[Default Applications]") {
            group = i;
            break;
        }
    }
    if (group < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QByteArray());
        lines.append("[Default Applications]");
        lines.append(entry);
    } else {
        qsizetype end = group + 1;
        while (end < lines.size() && !isGroup(lines[end]))
            ++end;
        bool replaced = false;
        for (qsizetype i = group + 1; i < end; ++i) {
            const qsizetype eq = lines[i].indexOf('=');
            if (eq > 0 && lines[i].left(eq).trimmed() == key) {
                lines[i] = entry;
                replaced = true;
            }
        }
        if (!replaced) {
            // After the group's last entry, before blank lines that part it from the next.
            qsizetype at = end;
            while (at > group + 1 && lines[at - 1].trimmed().isEmpty())
                --at;
            lines.insert(at, entry);
        }
    }
    return lines.join('\n') + '\n';
}

} // namespace filetype

TVaskRegistry::TVaskRegistry(platform::SettingsStore& store)
    : ProgramPath([] { return QCoreApplication::applicationFilePath(); }),
      RunTool(RunInstalledTool), IniFile(store) {}

QString TVaskRegistry::ReadValue(const QString& ident, const QString& defaultValue) const {
    if (Section.isEmpty())
        return QString();
    const std::optional<QVariant> value = IniFile.Read(Section, ident);
    if (!value)
        return defaultValue;
    if (value->typeId() != QMetaType::QString)
        throw ERegistryError(QStringLiteral("Значение %1 в %2 не строка").arg(ident, Section));
    return value->toString();
}

void TVaskRegistry::WriteValue(const QString& ident, const QVariant& value) {
    if (Section.isEmpty())
        return;
    QString text;
    switch (value.typeId()) {
    case QMetaType::Short:
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
        text = QString::number(value.toLongLong());
        break;
    case QMetaType::UShort:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        text = QString::number(value.toULongLong());
        break;
    case QMetaType::QString:
        text = value.toString();
        break;
    default:
        throw ERegistryError(QStringLiteral("Значение %1: не число и не строка").arg(ident));
    }
    if (!IniFile.Write(Section, ident, text))
        throw ERegistryError(WriteFailure(platform::SettingsFilePath(Section)));
}

void TVaskRegistry::CommitWrites() {
    if (!IniFile.Commit())
        throw ERegistryError(WriteFailure(platform::SettingsFilePath(Section)));
}

void TVaskRegistry::RegisterFileType(const QString& ext, const QString& typeName) {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    const QString configHome =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString mimeDir = dataHome + "/mime";
    const QString appsDir = dataHome + "/applications";

    WriteFileOnce(mimeDir + "/packages/brisquel-" + typeName.toLower() + ".xml",
                  MimePackage(ext, typeName));
    if (!IconPng.isEmpty())
        WriteFileOnce(dataHome + "/icons/hicolor/48x48/mimetypes/" + filetype::IconName(typeName) +
                          ".png",
                      IconPng);
    WriteFileOnce(appsDir + "/" + kDesktopId, DesktopEntry(ProgramPath(), typeName));
    const QString mimeapps = configHome + "/mimeapps.list";
    WriteFileOnce(mimeapps,
                  filetype::WithDefaultApplication(ReadFileOrEmpty(mimeapps),
                                                   filetype::MimeTypeName(typeName), kDesktopId));
    if (RunTool) {
        RunTool("update-mime-database", {mimeDir});
        RunTool("update-desktop-database", {appsDir});
    }
}
