#include "CellText.h"

#include "CodePage.h"
#include "NumberText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One position in a cell, with the scanning steps both grammars share.
struct TScanner {
    const char* p;
    const char* end;

    bool AtEnd() const { return p == end; }
    void SkipBlanks() {
        while (p < end && *p == ' ')
            ++p;
    }
    bool Take(QByteArrayView what) {
        if (what.size() == 1) { // the usual separator, looked at once per cell
            if (p == end || *p != what[0])
                return false;
            ++p;
            return true;
        }
        if (what.isEmpty() || end - p < what.size() ||
            std::memcmp(p, what.data(), what.size()) != 0)
            return false;
        p += what.size();
        return true;
    }
    // Digits as a number that stops growing past any limit a caller checks against.
    bool Number(int& value) {
        SkipBlanks();
        const char* start = p;
        value = 0;
        while (p < end && IsDigit(*p)) {
            if (value < 100000)
                value = value * 10 + (*p - '0');
            ++p;
        }
        return p > start;
    }
};

// Letter case in Windows-1251: Latin, the Russian alphabet, and the other Cyrillic
// letters of the code page.
unsigned char FoldCase(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF))
        return c + 0x20;
    switch (c) {
    case 0xA8:
        return 0xB8; // Ё
    case 0x80:
        return 0x90; // Ђ
    case 0x81:
        return 0x83; // Ѓ
    case 0x8A:
        return 0x9A; // Љ
    case 0x8C:
        return 0x9C; // Њ
    case 0x8D:
        return 0x9D; // Ќ
    case 0x8E:
        return 0x9E; // Ћ
    case 0x8F:
        return 0x9F; // Џ
    case 0xA1:
        return 0xA2; // Ў
    case 0xA3:
        return 0xBC; // Ј
    case 0xA5:
        return 0xB4; // Ґ
    case 0xAA:
        return 0xBA; // Є
    case 0xAF:
        return 0xBF; // Ї
    case 0xB2:
        return 0xB3; // І
    case 0xBD:
        return 0xBE; // Ѕ
    default:
        return c;
    }
}

bool TakeDesignator(TScanner& s, QByteArrayView designator) {
    s.SkipBlanks();
    if (designator.isEmpty() || s.end - s.p < designator.size())
        return false;
    for (qsizetype i = 0; i < designator.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(s.p[i])) !=
            FoldCase(static_cast<unsigned char>(designator[i])))
            return false;
    }
    s.p += designator.size();
    return true;
}

// -1: none; 0: morning; 12: afternoon. The user's designators come before the English ones.
int TakeDayHalf(TScanner& s, const TRegionalSettings& settings) {
    if (TakeDesignator(s, settings.TimeAMString) || TakeDesignator(s, "AM"))
        return 0;
    if (TakeDesignator(s, settings.TimePMString) || TakeDesignator(s, "PM"))
        return 12;
    return -1;
}

QByteArray SeparatorFromTimeFormat(const QString& format) {
    qsizetype i = 0;
    while (i < format.size() && format[i] != u'h' && format[i] != u'H')
        ++i;
    while (i < format.size() && (format[i] == u'h' || format[i] == u'H'))
        ++i;
    QString separator;
    for (; i < format.size() && !format[i].isLetter(); ++i) {
        if (format[i] != u'\'')
            separator += format[i];
    }
    separator = separator.trimmed();
    return separator.isEmpty() ? QByteArray(":") : platform::ToCodePage(separator);
}

} // namespace

TRegionalSettings TRegionalSettings::FromLocale(const QLocale& locale) {
    TRegionalSettings s;
    const QByteArray decimal = platform::ToCodePage(locale.decimalPoint());
    if (!decimal.isEmpty())
        s.DecimalSeparator = decimal;
    s.TimeSeparator = SeparatorFromTimeFormat(locale.timeFormat(QLocale::LongFormat));
    s.TimeAMString = platform::ToCodePage(locale.amText());
    s.TimePMString = platform::ToCodePage(locale.pmText());
    return s;
}

namespace viewer {

bool TryTextToFloat(QByteArrayView text, const TRegionalSettings& settings, double* value) {
    TScanner s{text.data(), text.data() + text.size()};
    s.SkipBlanks();
    bool negative = false;
    if (!s.AtEnd() && (*s.p == '+' || *s.p == '-')) {
        negative = *s.p == '-';
        ++s.p;
    }
    const char* intBegin = s.p;
    while (!s.AtEnd() && IsDigit(*s.p))
        ++s.p;
    const char* intEnd = s.p;
    const char* fracBegin = s.p;
    const char* fracEnd = s.p;
    if (s.Take(settings.DecimalSeparator)) {
        fracBegin = s.p;
        while (!s.AtEnd() && IsDigit(*s.p))
            ++s.p;
        fracEnd = s.p;
    }
    if (intBegin == intEnd && fracBegin == fracEnd)
        return false;
    int64_t exponent = 0;
    if (!s.AtEnd() && (*s.p == 'E' || *s.p == 'e')) {
        ++s.p;
        bool expNegative = false;
        if (!s.AtEnd() && (*s.p == '+' || *s.p == '-')) {
            expNegative = *s.p == '-';
            ++s.p;
        }
        while (!s.AtEnd() && IsDigit(*s.p)) {
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (*s.p - '0');
            ++s.p;
        }
        if (expNegative)
            exponent = -exponent;
    }
    s.SkipBlanks();
    if (!s.AtEnd())
        return false;

    // The decimal exponent of the first significant digit decides the range on its own,
    // except close to the limits.
    const char* first = intBegin;
    while (first < intEnd && *first == '0')
        ++first;
    int64_t magnitude = 0;
    if (first < intEnd) {
        magnitude = (intEnd - first) - 1 + exponent;
    } else {
        first = fracBegin;
        while (first < fracEnd && *first == '0')
            ++first;
        if (first == fracEnd) {
            if (value)
                *value = negative ? -0.0 : 0.0;
            return true;
        }
        magnitude = -(first - fracBegin) - 1 + exponent;
    }
    if (magnitude > 308)
        return false;
    if (magnitude < -330) {
        if (value)
            *value = negative ? -0.0 : 0.0;
        return true;
    }
    if (!value && magnitude > -300 && magnitude < 300)
        return true;

    // d.ddd...e<magnitude> from the significant digits; its exponent is small.
    std::string number;
    number.reserve((intEnd - intBegin) + (fracEnd - fracBegin) + 16);
    if (negative)
        number += '-';
    const auto appendDigits = [&](const char* from, const char* to) {
        for (const char* c = from; c < to; ++c) {
            number += *c;
            if (number.size() == size_t(negative) + 1)
                number += '.';
        }
    };
    if (first >= intBegin && first < intEnd) {
        appendDigits(first, intEnd);
        appendDigits(fracBegin, fracEnd);
    } else {
        appendDigits(first, fracEnd);
    }
    number += 'e';
    number += std::to_string(magnitude);
    double result = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), result);
    (void)end;
    if (error == std::errc::result_out_of_range) {
        if (magnitude > 0)
            return false;
        result = negative ? -0.0 : 0.0;
    } else if (error != std::errc()) {
        return false;
    }
    if (!std::isfinite(result))
        return false;
    if (value)
        *value = result;
    return true;
}

bool TryTextToTime(QByteArrayView text, const TRegionalSettings& settings, int* msecs) {
    TScanner s{text.data(), text.data() + text.size()};
    int dayHalf = TakeDayHalf(s, settings);
    int hour = 0, minute = 0, second = 0, msec = 0;
    if (!s.Number(hour))
        return false;
    s.SkipBlanks();
    if (s.Take(settings.TimeSeparator)) {
        if (!s.Number(minute))
            return false;
        s.SkipBlanks();
        if (s.Take(settings.TimeSeparator)) {
            if (!s.Number(second))
                return false;
            s.SkipBlanks();
            if (s.Take(settings.DecimalSeparator) && !s.Number(msec))
                return false;
        }
    }
    if (dayHalf < 0)
        dayHalf = TakeDayHalf(s, settings);
    if (dayHalf >= 0) {
        if (hour == 0 || hour > 12)
            return false;
        if (hour == 12)
            hour = 0;
        hour += dayHalf;
    }
    s.SkipBlanks();
    if (!s.AtEnd())
        return false;
    if (hour >= 24 || minute >= 60 || second >= 60 || msec >= 1000)
        return false;
    if (msecs)
        *msecs = ((hour * 60 + minute) * 60 + second) * 1000 + msec;
    return true;
}

QString FormatValue(double value, int precision, const TRegionalSettings& settings) {
    if (!std::isfinite(value))
        return QStringLiteral("-------"); // never a parsed cell
    precision = std::clamp(precision, 0, 4);
    const QString separator = platform::FromCodePage(settings.DecimalSeparator);
    // Eight significant digits first, then the decimals: a half written in the archive goes
    // up whatever its binary form; scientific past eight integer digits.
    QString text = platform::FormatFixedInTwoSteps(value, precision, u'.', 8);
    const qsizetype e = text.indexOf(u'E');
    if (e >= 0) {
        // The exponent is at least 8 here: padded to the decimals, at least one digit.
        const QString exponent = text.mid(e + 1).rightJustified(std::max(precision, 1), u'0');
        text = text.left(e + 1) + exponent;
    }
    return text.replace(u'.', separator);
}

QString DecodeCell(QByteArrayView bytes) {
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char c = char(b);
            const QString s = platform::FromCodePage(&c, 1);
            t[b] = s.size() == 1 ? s[0].unicode() : u'\uFFFD';
        }
        return t;
    }();
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        dst[i] = QChar(table[static_cast<unsigned char>(bytes[i])]);
    return out;
}

} // namespace viewer
