#pragma once
// The viewer's settings (string values in one section of the per-user "Software" store)
// and the desktop's file-type association that makes the viewer the opening program of
// an extension. Qt Core only.
#include "SettingsStore.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <stdexcept>

// A setting or an association file that could not be read or written. The message is
// ready to show to the user.
class ERegistryError : public std::runtime_error {
public:
    explicit ERegistryError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    QString Message() const { return message_; }

private:
    QString message_;
};

class TVaskRegistry {
public:
    explicit TVaskRegistry(platform::SettingsStore& store = platform::UserSettings());

    // Names the section for all later reads and writes.
    void SetSection(const QString& name) { Section = name; }
    const QString& GetSection() const { return Section; }

    // The value, or the default when it is absent; "" while no section is set. A value
    // the store does not hold as a string throws ERegistryError.
    QString ReadValue(const QString& ident, const QString& defaultValue) const;
    // Integers are stored as decimal text, strings unchanged; nothing is written while no
    // section is set. A value that cannot be stored throws ERegistryError.
    void WriteValue(const QString& ident, const QVariant& value);
    // The writes between these two reach the settings file together, in one rewrite at
    // CommitWrites, which throws ERegistryError when the file cannot be written.
    void BeginWrites() { IniFile.Begin(); }
    void CommitWrites();

    // Makes the viewer the opening program of files with the extension (".xxx") under the
    // type name ("xxxFile"): a shared-mime-info package, a desktop entry, the type's icon
    // and the default in mimeapps.list, then the desktop's caches are refreshed. Writing
    // twice leaves the same files as once. The first file that cannot be written throws
    // ERegistryError; what was written before it stays.
    void RegisterFileType(const QString& ext, const QString& typeName);

    // What the association names. The program's path is taken at every call, so the
    // association follows a moved program.
    std::function<QString()> ProgramPath;
    // The type's icon as PNG bytes; nothing is written for it while empty.
    QByteArray IconPng;
    // Starts a cache tool (program name, arguments) when it is installed, without waiting
    // for it; tests replace it.
    std::function<void(const QString&, const QStringList&)> RunTool;

private:
    QString Section;
    platform::SettingsStore& IniFile;
};

// The pieces of the association, exposed for tests and for the program's own use.
namespace filetype {
// "application/x-" + the type name in lower case.
QString MimeTypeName(const QString& typeName);
// The icon name the desktop derives from the MIME type ("application-x-xxxfile").
QString IconName(const QString& typeName);
// The desktop entry's Exec value: the program quoted as the desktop-entry format requires,
// then the file placeholder.
QString ExecLine(const QString& programPath);
// mimeapps.list with the type's default set in [Default Applications]; every other line
// is kept as it was.
QByteArray WithDefaultApplication(const QByteArray& mimeappsList, const QString& mimeType,
                                  const QString& desktopId);
} // namespace filetype
