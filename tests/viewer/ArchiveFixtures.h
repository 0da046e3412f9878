#pragma once
// Archives the tests build themselves, with an enciphering written apart from the viewer's.
#include "TestFiles.h"
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace fixtures {

// "Time;Error;1;...;64;"
inline QByteArray Header() {
    QByteArray h = "Time;Error;";
    for (int i = 1; i <= 64; ++i)
        h += QByteArray::number(i) + ';';
    return h;
}

// Byte by byte: even offsets XOR 7C, odd ones XOR 3A; an odd last byte stays plain.
inline QByteArray Encipher(const QByteArray& plain) {
    QByteArray out = plain;
    const qsizetype paired = out.size() - out.size() % 2;
    for (qsizetype i = 0; i < paired; ++i)
        out[i] = char(quint8(out[i]) ^ (i % 2 == 0 ? 0x7C : 0x3A));
    return out;
}

// A record: time, error text, then values in columns 2 on.
inline QByteArray Row(const QByteArray& time, const QByteArray& error,
                      const QList<QByteArray>& values) {
    QByteArray row = time + ';' + error + ';';
    for (const QByteArray& v : values)
        row += v + ';';
    return row;
}

inline QByteArray Archive(const QList<QByteArray>& rows, const QByteArray& lineEnd = "\r\n") {
    QByteArray text = Header() + lineEnd;
    for (const QByteArray& r : rows)
        text += r + lineEnd;
    return text;
}

using testfiles::ReadFile;
using testfiles::WriteFile;

} // namespace fixtures
