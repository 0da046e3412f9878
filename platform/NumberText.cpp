#include "NumberText.h"

#include <QLocale>
#include <charconv>
#include <cmath>
#include <string>

namespace platform {

namespace {

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool IsDecimalDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

int HexDigitValue(QChar c) {
    if (IsDecimalDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

qsizetype SkipBlanks(QStringView text, qsizetype i) {
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    return i;
}

} // namespace

std::optional<int32_t> ParseIntegerText(QStringView text) {
    const qsizetype n = text.size();
    qsizetype i = SkipBlanks(text, 0);
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    const int base = hex ? 16 : 10;
    const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t magnitude = 0;
    const qsizetype firstDigit = i;
    for (; i < n; ++i) {
        const int digit = hex ? HexDigitValue(text[i])
                              : (IsDecimalDigit(text[i]) ? text[i].unicode() - u'0' : -1);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + static_cast<uint64_t>(digit);
        if (magnitude > limit)
            return std::nullopt;
    }
    if (i == firstDigit)
        return std::nullopt;
    if (hex) {
        uint32_t bits = static_cast<uint32_t>(magnitude);
        if (negative)
            bits = 0u - bits;
        return static_cast<int32_t>(bits);
    }
    const int64_t value =
        negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(value);
}

std::optional<int32_t> AttributeToInt(QStringView text) {
    return ParseIntegerText(text);
}

QChar DecimalSeparator() {
    const QString point = QLocale().decimalPoint();
    return point.isEmpty() ? QChar(u'.') : point.front();
}

std::optional<double> ParseRealText(QStringView text, QStringView separators) {
    const qsizetype n = text.size();
    std::string ascii;
    qsizetype i = SkipBlanks(text, 0);
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            ascii += '-';
        ++i;
    }
    int digits = 0;
    for (; i < n && IsDecimalDigit(text[i]); ++i, ++digits)
        ascii += static_cast<char>(text[i].unicode());
    if (i < n && separators.contains(text[i])) {
        ascii += '.';
        for (++i; i < n && IsDecimalDigit(text[i]); ++i, ++digits)
            ascii += static_cast<char>(text[i].unicode());
    }
    if (digits == 0)
        return std::nullopt;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii += 'e';
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            ascii += static_cast<char>(text[i].unicode());
            ++i;
        }
        const qsizetype firstExponentDigit = i;
        for (; i < n && IsDecimalDigit(text[i]); ++i)
            ascii += static_cast<char>(text[i].unicode());
        if (i == firstExponentDigit)
            return std::nullopt;
    }
    if (SkipBlanks(text, i) != n)
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size())
        return std::nullopt;
    return value;
}

std::optional<float> RoundToSingle(double value) {
    // Halfway between the largest single and 2^128: anything at or above rounds to infinity.
    constexpr double kOverflow = 340282356779733661637539395458142568448.0;
    if (!std::isfinite(value) || std::fabs(value) >= kOverflow)
        return std::nullopt;
    return static_cast<float>(value);
}

QString FormatGeneral15(double value, QChar separator) {
    const QString sign = std::signbit(value) ? QStringLiteral("-") : QString();
    if (std::isnan(value))
        return sign + QStringLiteral("NAN");
    if (std::isinf(value))
        return sign + QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");

    // Correctly rounded to 15 significant digits: "d.dddddddddddddde[+-]x".
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific, 14);
    const std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    const int exponent = std::stoi(text.substr(e + 1));
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    QString out = sign;
    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            const size_t integerDigits = static_cast<size_t>(exponent) + 1;
            if (digits.size() < integerDigits)
                digits.append(integerDigits - digits.size(), '0');
            out += QString::fromLatin1(digits.data(), static_cast<qsizetype>(integerDigits));
            if (digits.size() > integerDigits)
                out += separator + QString::fromLatin1(digits.substr(integerDigits));
        } else {
            out += QStringLiteral("0") + separator + QString(-exponent - 1, u'0') +
                   QString::fromLatin1(digits);
        }
        return out;
    }
    out += QChar(digits[0]);
    if (digits.size() > 1)
        out += separator + QString::fromLatin1(digits.substr(1));
    out += QStringLiteral("E") + QString::number(exponent);
    return out;
}

} // namespace platform
