#include "IniText.h"

#include "AbandonedLock.h"

#include <QByteArrayView>
#include <QFile>
#include <QHash>
#include <QSettings>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

namespace {

// The characters QSettings' reader treats apart: white space between lines, and those that
// end, quote, escape or split a line.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsSpecial(char c) {
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}
bool IsLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// One line as QSettings reads it: from its first character to its end, and the position of
// its first '=' outside quotes (-1 without one). An open line runs on to the end of the text
// in quotes or after a backslash, so that a line put after it would be part of it.
struct TLine {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1;
    bool open = false;
};

// The next line from pos, found as QSettings' reader finds it: white space and comment lines
// (';' first) before it are skipped; a line ends at a line end or a ';' outside quotes; a
// backslash takes the next character with it, a line end too; quotes may hold line ends.
bool NextLine(QByteArrayView text, qsizetype& pos, TLine& line) {
    const qsizetype size = text.size();
    bool quoted = false;
    bool escapesAll = false; // a backslash took the last line end, or nothing was left to take
    line.equals = -1;
    qsizetype start = pos;
    while (start < size && IsSpace(text[start]))
        ++start;
    qsizetype i = start;
    while (i < size) {
        const char c = text[i++];
        if (!IsSpecial(c))
            continue;
        if (c == '=') {
            if (!quoted && line.equals < 0)
                line.equals = i - 1;
        } else if (IsLineEnd(c)) {
            if (i == start + 1) {
                ++start;
            } else if (!quoted) {
                --i;
                break;
            }
        } else if (c == '\\') {
            escapesAll = i == size || IsLineEnd(text[i]);
            if (i < size) {
                const char next = text[i++];
                if (i < size && IsLineEnd(next) && IsLineEnd(text[i]) && next != text[i])
                    ++i;
            }
            escapesAll = escapesAll && i == size;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (i == start + 1) { // ';' first: a comment to the end of the line
            while (i < size && !IsLineEnd(text[i]))
                ++i;
            while (i < size && IsSpace(text[i]))
                ++i;
            start = i;
        } else if (!quoted) {
            --i;
            break;
        }
    }
    pos = i;
    line.start = start;
    line.end = i;
    line.open = i == size && (quoted || escapesAll);
    return i > start;
}

bool IsHexDigit(char16_t u) {
    return (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
}

// A key or group name as QSettings reads it: UTF-8, "%XX" and "%UXXXX" a character each,
// a backslash a slash.
QString UnescapedKey(QByteArrayView bytes) {
    const QString key = QString::fromUtf8(bytes);
    QString result;
    for (qsizetype i = 0; i < key.size();) {
        const QChar c = key[i];
        if (c == '\\') {
            result += '/';
            ++i;
            continue;
        }
        if (c == '%') {
            const bool wide = i + 1 < key.size() && key[i + 1] == 'U';
            const qsizetype first = i + (wide ? 2 : 1);
            const qsizetype digits = wide ? 4 : 2;
            bool ok = first + digits <= key.size();
            const ushort code = ok ? QStringView(key).sliced(first, digits).toUShort(&ok, 16) : 0;
            if (ok) {
                result += QChar(code);
                i = first + digits;
                continue;
            }
        }
        result += c;
        ++i;
    }
    return result;
}

QByteArray Hex(uint value, int digits) {
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

// A key as QSettings writes it: a slash as a backslash, all but letters, digits and "_-."
// escaped.
QByteArray EscapedKey(QStringView key) {
    QByteArray result;
    for (const QChar c : key) {
        const char16_t u = c.unicode();
        if (u == '/')
            result += '\\';
        else if ((u < 0x80 && QChar::isLetterOrNumber(u)) || u == '_' || u == '-' || u == '.')
            result += char(u);
        else if (u <= 0xFF)
            result += '%' + Hex(u, 2);
        else
            result += "%U" + Hex(u, 4);
    }
    return result;
}

// How QSettings escapes a character of a string value, "" for none. A hex digit right after
// a numeric escape would extend it and is escaped too; number tells whether one came.
QByteArray Escape(char16_t u, bool& number) {
    static const char kNamed[] = "\a\b\f\n\r\t\v";
    static const char kLetters[] = "abfnrtv";
    if (std::exchange(number, false) && IsHexDigit(u)) {
        number = true;
        return "\\x" + QByteArray::number(u, 16);
    }
    if (u == 0) {
        number = true;
        return "\\0";
    }
    if (u < 0x20)
        if (const char* named = std::strchr(kNamed, char(u)))
            return QByteArray("\\") + kLetters[named - kNamed];
    // A byte order mark in UTF-8 reads as nothing where a piece of the value starts (the
    // value itself, a quote, an escape), so it goes as a number, as control characters do.
    if (u < 0x20 || u == 0xFEFF) {
        number = true;
        return "\\x" + QByteArray::number(u, 16);
    }
    if (u == '"' || u == '\\')
        return QByteArray("\\") + char(u);
    return {};
}

// A string value as QSettings writes it: one that starts with '@' gets a second one, one
// that holds a NUL is "@String(...)"; the rest is UTF-8, escaped where needed, in quotes
// where it holds ',' ';' '=' or starts or ends with a space.
QByteArray EscapedText(const QString& value) {
    QString text = value;
    if (text.contains(QChar::Null))
        text = QStringLiteral("@String(") + text + ')';
    else if (text.startsWith('@'))
        text.prepend('@');
    QByteArray result;
    QString plain; // turned to UTF-8 in one piece, so that surrogate pairs stay whole
    bool quoted = false;
    bool number = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        quoted |= u == ';' || u == ',' || u == '=';
        const QByteArray escape = Escape(u, number);
        if (escape.isEmpty()) {
            plain += c;
            continue;
        }
        result += plain.toUtf8() + escape;
        plain.clear();
    }
    result += plain.toUtf8();
    if (quoted || result.startsWith(' ') || result.endsWith(' '))
        result = '"' + result + '"';
    return result;
}

// The group a header line opens, as QSettings names it: "" for the general group, else the
// name and a slash. "[%General]" is a group of that name.
QString GroupOf(QByteArrayView header) {
    qsizetype close = header.indexOf(']');
    if (close < 0)
        close = header.size();
    const QByteArrayView name = header.sliced(1, close - 1).trimmed();
    if (name.compare("general", Qt::CaseInsensitive) == 0)
        return {};
    if (name.compare("%general", Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(name.sliced(1)) + '/';
    return UnescapedKey(name) + '/';
}

// A key's line, with its group and its whole key (the group's name in front). QSettings
// reads the first line after a byte order mark from the mark on, so the blanks before that
// line's key are the key's: its key starts right after the mark.
struct TKeyLine {
    TLine line;
    QString group;
    QString key;
    bool afterMark = false;
    qsizetype keyStart = 0;
};

// Where the line at pos starts: back over the blanks before it.
qsizetype LineStart(QByteArrayView text, qsizetype pos) {
    while (pos > 0 && (text[pos - 1] == ' ' || text[pos - 1] == '\t'))
        --pos;
    return pos;
}

// Past the end of the line at pos: its comment, if any, and one line end.
qsizetype PastLine(QByteArrayView text, qsizetype pos) {
    while (pos < text.size() && !IsLineEnd(text[pos]))
        ++pos;
    if (pos < text.size())
        pos += text.sliced(pos).startsWith("\r\n") ? 2 : 1;
    return pos;
}

// A value's end without the blanks before a comment or the line end, which stay.
qsizetype ValueEnd(QByteArrayView text, const TLine& line) {
    qsizetype end = line.end;
    while (end > line.equals + 1 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    return end;
}

// Where a new line may go right before or right after a key's line, -1 where none may: none
// before the line after a byte order mark (its key would lose its blanks), none after an
// open line.
qsizetype Before(QByteArrayView text, const TKeyLine& k) {
    return k.afterMark ? -1 : LineStart(text, k.line.start);
}
qsizetype After(QByteArrayView text, const TKeyLine& k) {
    return k.line.open ? -1 : PastLine(text, k.line.end);
}

struct TEdit {
    qsizetype from;
    qsizetype to;
    QByteArray with;
};

// Every value of the file at path, as QSettings reads it. QSettings finds a value by its
// key's parts, so a line whose key has an empty part ("\Width", "a\\b") is read under the
// key without it, if one is there, or not at all.
std::optional<QVariantMap> ValuesAt(const QString& path) {
    const QSettings file(path, QSettings::IniFormat);
    if (file.status() == QSettings::AccessError)
        return std::nullopt;
    QVariantMap values;
    for (const QString& line : file.allKeys())
        if (const QString key = IniKey(line); !key.isEmpty() && file.contains(key))
            values.insert(key, file.value(key));
    return values;
}

} // namespace

QString IniKey(const QString& name) {
    return name.split('/', Qt::SkipEmptyParts).join('/');
}

std::optional<QVariantMap> ReadIniFile(int fd) {
    // QSettings keeps what it read of a file by the file's path, and takes a file of the same
    // size and time there for unchanged. The file is read through the path of a descriptor,
    // whose number comes back for other files: an empty file read there first makes QSettings
    // forget what it kept under that path.
    const int alias = ::memfd_create("settings", MFD_CLOEXEC);
    if (alias < 0)
        return std::nullopt;
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(alias);
    // Without /proc the path names nothing, which QSettings would read as an empty file.
    const QByteArray name = QFile::encodeName(path);
    std::optional<QVariantMap> values;
    if (StillNamed(alias, name) && ValuesAt(path) && ::dup3(fd, alias, O_CLOEXEC) == alias &&
        StillNamed(fd, name))
        values = ValuesAt(path);
    ::close(alias);
    return values;
}

std::optional<QVariantMap> ReadIniText(const QByteArray& text) {
    const int fd = ::memfd_create("settings", MFD_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    bool written = true;
    for (qsizetype done = 0; written && done < text.size();) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        written = n > 0 || (n < 0 && errno == EINTR);
        done += std::max<ssize_t>(n, 0);
    }
    std::optional<QVariantMap> values = written ? ReadIniFile(fd) : std::nullopt;
    ::close(fd);
    return values;
}

QByteArray WithIniValues(const QByteArray& text, const TIniValues& values) {
    QStringList keys;
    QHash<QString, QString> latest;
    for (const auto& [name, value] : values) {
        const QString key = IniKey(name);
        if (!latest.contains(key))
            keys << key;
        latest[key] = value;
    }
    const QByteArray eol = text.contains("\r\n") ? "\r\n" : "\n";

    std::vector<TKeyLine> lines;
    // Past the general group's last key (before it where nothing can go after it), else
    // past its first header.
    qsizetype afterGeneral = -1;
    qsizetype firstLine = -1;
    bool lastOpen = false;
    QString group;
    const qsizetype bom = text.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype pos = bom;
    for (TLine line; NextLine(text, pos, line);) {
        if (firstLine < 0)
            firstLine = LineStart(text, line.start);
        lastOpen = line.open;
        const QByteArrayView bytes = QByteArrayView(text).sliced(line.start, line.end - line.start);
        if (bytes.startsWith('[')) {
            group = GroupOf(bytes);
            if (group.isEmpty() && afterGeneral < 0 && !line.open)
                afterGeneral = PastLine(text, line.end);
        } else if (line.equals >= 0) {
            // The mark goes as the key's UTF-8 is decoded, as with QSettings.
            const bool afterMark = bom > 0 && LineStart(text, line.start) == bom;
            const qsizetype from = afterMark ? 0 : line.start;
            const QByteArrayView key =
                QByteArrayView(text).sliced(from, line.equals - from).trimmed();
            const TKeyLine& k = lines.emplace_back(TKeyLine{
                line, group, group + UnescapedKey(key), afterMark, afterMark ? bom : line.start});
            if (group.isEmpty())
                afterGeneral = After(text, k) >= 0 ? After(text, k) : Before(text, k);
        }
    }

    std::vector<TEdit> edits;
    QStringList added;
    for (const QString& key : keys) {
        const QByteArray value = EscapedText(latest[key]);
        bool set = false;
        for (const TKeyLine& k : lines) {
            if (k.key != key)
                continue;
            if (!set)
                edits.push_back(
                    {k.keyStart, ValueEnd(text, k.line),
                     EscapedKey(QStringView(key).sliced(k.group.size())) + '=' + value});
            else
                edits.push_back({LineStart(text, k.line.start), PastLine(text, k.line.end), {}});
            set = true;
        }
        if (!set)
            added << key;
    }

    // A new key goes where QSettings, which writes a group's keys sorted, would have it:
    // before the first of the general group's keys that sorts after it, else after the
    // group's last. So a file QSettings wrote, or only this writer, stays as QSettings
    // writes it.
    std::sort(added.begin(), added.end());
    std::map<qsizetype, QByteArray> inserted; // by where
    QByteArray grouped;                       // in a general group of their own
    for (const QString& key : added) {
        const QByteArray line = EscapedKey(key) + '=' + EscapedText(latest[key]) + eol;
        const auto before = std::find_if(lines.begin(), lines.end(), [&](const TKeyLine& k) {
            return k.group.isEmpty() && key < k.key;
        });
        qsizetype at = afterGeneral;
        if (before != lines.end())
            at = Before(text, *before) >= 0 ? Before(text, *before) : After(text, *before);
        if (at >= 0)
            inserted[at] += line;
        else
            grouped += line;
    }
    // A last line without its line end gets one first.
    const auto ended = [&](qsizetype at) { return at <= bom || IsLineEnd(text[at - 1]); };
    for (const auto& [at, with] : inserted)
        edits.push_back({at, at, (ended(at) ? "" : eol) + with});
    if (!grouped.isEmpty() && lastOpen) {
        // Nothing can go after the last line: the group goes first.
        edits.push_back({firstLine, firstLine, "[General]" + eol + grouped + eol});
    } else if (!grouped.isEmpty()) {
        const bool blank = QByteArrayView(text).sliced(bom).trimmed().isEmpty();
        edits.push_back(
            {text.size(), text.size(),
             (ended(text.size()) ? "" : eol) + (blank ? "" : eol) + "[General]" + eol + grouped});
    }

    // An insertion where a removal starts goes first.
    std::sort(edits.begin(), edits.end(), [](const TEdit& a, const TEdit& b) {
        return std::pair(a.from, a.to) < std::pair(b.from, b.to);
    });
    QByteArray result;
    qsizetype done = 0;
    for (const TEdit& edit : edits) {
        result += QByteArrayView(text).sliced(done, edit.from - done);
        result += edit.with;
        done = edit.to;
    }
    result += QByteArrayView(text).sliced(done);
    return result;
}

} // namespace platform
