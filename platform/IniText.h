#pragma once
// The text of a settings file in the INI format of QSettings: the values QSettings reads
// from it, and the text with values set, every other byte as it was, which QSettings reads
// with every other value as before.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariantMap>
#include <optional>
#include <utility>

namespace platform {

// Names and string values, in the order they were set.
using TIniValues = QList<std::pair<QString, QString>>;

// The key QSettings files a value's name under: its parts between slashes, none empty.
QString IniKey(const QString& name);

// Every value of the file open as fd, by key, as QSettings itself reads it from the disk
// now; nullopt when it cannot be handed to QSettings. What QSettings keeps of it is never
// taken for another file.
std::optional<QVariantMap> ReadIniFile(int fd);
// The same for a text, held in memory for the read.
std::optional<QVariantMap> ReadIniText(const QByteArray& text);

// The text with each value set as a string. The line that holds a key now gets its new
// value and later lines of the same key go; a new key goes among the general group's keys
// where QSettings, which writes them sorted, would have it, or in a general group added at
// the end (at the start where the last line runs on to the end in quotes or after a
// backslash, so that nothing can follow it). Comments, blank lines, line ends and every
// other line stay byte for byte. Of two values of one name, the later one counts.
QByteArray WithIniValues(const QByteArray& text, const TIniValues& values);

} // namespace platform
