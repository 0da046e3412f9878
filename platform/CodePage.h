#pragma once
// The programs' 8-bit text (files, device identification, card names) is Windows-1251.
#include <QByteArray>
#include <QString>

namespace platform {

// False when the Qt build has no Windows-1251 codec (Qt without ICU).
bool CodePageAvailable();
// Aborts with a message on stderr when the codec is missing: nothing could be read right.
void RequireCodePage();

QString FromCodePage(const QByteArray& bytes);
QString FromCodePage(const char* data, qsizetype size);
// Characters the code page cannot hold become '?'.
QByteArray ToCodePage(const QString& text);

} // namespace platform
