#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {
constexpr const char* kCodePage = "windows-1251";
}

bool CodePageAvailable() {
    return QStringDecoder(kCodePage).isValid() && QStringEncoder(kCodePage).isValid();
}

void RequireCodePage() {
    if (!CodePageAvailable()) {
        std::fprintf(stderr, "The Windows-1251 text codec is missing from this Qt build.\n");
        std::abort();
    }
}

QString FromCodePage(const QByteArray& bytes) { return FromCodePage(bytes.constData(), bytes.size()); }

QString FromCodePage(const char* data, qsizetype size) {
    QStringDecoder decoder(kCodePage);
    return decoder.decode(QByteArrayView(data, size));
}

QByteArray ToCodePage(const QString& text) {
    QStringEncoder encoder(kCodePage, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

} // namespace platform
