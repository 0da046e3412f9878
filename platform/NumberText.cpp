#include "NumberText.h"

#include <QLocale>
#include <algorithm>
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

namespace {

// The text of a real in the form std::from_chars reads; nothing when it breaks the syntax.
std::optional<std::string> RealTextToAscii(QStringView text, QStringView separators) {
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
    return ascii;
}

template <typename Real> std::optional<Real> ParseRealAs(QStringView text, QStringView separators) {
    const auto ascii = RealTextToAscii(text, separators);
    if (!ascii)
        return std::nullopt;
    Real value = 0;
    const char* const last = ascii->data() + ascii->size();
    const auto [end, error] = std::from_chars(ascii->data(), last, value);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<double> ParseRealText(QStringView text, QStringView separators) {
    return ParseRealAs<double>(text, separators);
}

std::optional<long double> ParseRealTextExtended(QStringView text, QStringView separators) {
    return ParseRealAs<long double>(text, separators);
}

std::optional<float> RoundToSingle(double value) {
    // Halfway between the largest single and 2^128: anything at or above rounds to infinity.
    constexpr double kOverflow = 340282356779733661637539395458142568448.0;
    if (!std::isfinite(value) || std::fabs(value) >= kOverflow)
        return std::nullopt;
    return static_cast<float>(value);
}

namespace {

// The exact decimal expansion of a finite, non-zero magnitude: value = d0.d1d2... x 10^exponent,
// without trailing zeros. Every double has a finite expansion of at most 767 significant digits.
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

DecimalDigits ExactDigits(double magnitude) {
    char buffer[800];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, 767);
    const std::string text(buffer, result.ptr);
    const size_t e = text.find('e');
    DecimalDigits d;
    d.digits = text.substr(0, 1) + text.substr(2, e - 2);
    d.exponent = std::stoi(text.substr(e + 1));
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

// Keeps `significant` digits (none or fewer may remain), rounding half away from zero on
// the exact digits. A result of zero leaves "0".
void RoundHalfAway(DecimalDigits& d, int significant) {
    if (significant >= static_cast<int>(d.digits.size()))
        return;
    const bool up = significant >= 0 && d.digits[static_cast<size_t>(significant)] >= '5';
    if (significant <= 0) {
        d.digits = up ? "1" : "0";
        if (up)
            d.exponent += 1 - significant;
        return;
    }
    d.digits.resize(static_cast<size_t>(significant));
    if (up) {
        int i = significant - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9')
            d.digits[static_cast<size_t>(i--)] = '0';
        if (i < 0) {
            d.digits.insert(d.digits.begin(), '1');
            ++d.exponent;
        } else {
            ++d.digits[static_cast<size_t>(i)];
        }
    }
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
}

bool IsZero(const DecimalDigits& d) {
    return d.digits == "0";
}

QString NotFinite(double value) {
    const QString sign = std::signbit(value) ? QStringLiteral("-") : QString();
    return sign + (std::isnan(value) ? QStringLiteral("NAN") : QStringLiteral("INF"));
}

// "d", "d,ddd", followed by "E" and the exponent ("1,5E-5", "1E20").
QString Scientific(const DecimalDigits& d, QChar separator) {
    QString out(QChar(d.digits[0]));
    if (d.digits.size() > 1)
        out += separator + QString::fromLatin1(d.digits.substr(1));
    return out + QStringLiteral("E") + QString::number(d.exponent);
}

// The digits written out in fixed notation with at least `decimals` decimals (padded
// with zeros) and at least one digit before the separator.
QString Positional(const DecimalDigits& d, int decimals, QChar separator) {
    std::string integer = "0";
    std::string fraction;
    if (d.exponent >= 0) {
        const size_t integerDigits = static_cast<size_t>(d.exponent) + 1;
        integer = d.digits.substr(0, integerDigits);
        if (integer.size() < integerDigits)
            integer.append(integerDigits - integer.size(), '0');
        if (d.digits.size() > integerDigits)
            fraction = d.digits.substr(integerDigits);
    } else if (!IsZero(d)) {
        fraction = std::string(static_cast<size_t>(-d.exponent - 1), '0') + d.digits;
    }
    if (static_cast<int>(fraction.size()) < decimals)
        fraction.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    QString out = QString::fromLatin1(integer);
    if (!fraction.empty())
        out += separator + QString::fromLatin1(fraction);
    return out;
}

// Both fixed forms. With `twoSteps` the value is first rounded to `precision` significant
// digits and the rounding at the decimals works on the digits that left; a single rounding
// that carries past `precision` integer digits starts again from the exact digits.
QString FixedForm(double value, int digits, QChar separator, int precision, bool twoSteps) {
    if (!std::isfinite(value))
        return NotFinite(value);
    digits = std::max(digits, 0);
    if (value == 0)
        return Positional(DecimalDigits{"0", 0}, digits, separator);
    DecimalDigits d = ExactDigits(std::fabs(value));
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    if (twoSteps)
        RoundHalfAway(d, precision);
    if (d.exponent + 1 <= precision) {
        // At the precision or at the decimals, whichever keeps fewer digits.
        const int decimals = std::min(digits, precision - (d.exponent + 1));
        RoundHalfAway(d, d.exponent + 1 + decimals);
        if (d.exponent + 1 <= precision)
            return (IsZero(d) ? QString() : sign) + Positional(d, digits, separator);
        d = ExactDigits(std::fabs(value));
    }
    RoundHalfAway(d, precision);
    return sign + Scientific(d, separator);
}

} // namespace

QString FormatFixed(double value, int digits, QChar separator, int precision) {
    return FixedForm(value, digits, separator, precision, false);
}

QString FormatFixedInTwoSteps(double value, int digits, QChar separator, int precision) {
    return FixedForm(value, digits, separator, precision, true);
}

QString FormatGeneral(double value, int precision, int minFixedExponent, QChar separator) {
    if (!std::isfinite(value))
        return NotFinite(value);
    if (value == 0)
        return QStringLiteral("0");
    DecimalDigits d = ExactDigits(std::fabs(value));
    RoundHalfAway(d, precision);
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    if (d.exponent >= precision || d.exponent < minFixedExponent)
        return sign + Scientific(d, separator);
    return sign + Positional(d, 0, separator);
}

QString FormatGeneral15(double value, QChar separator) {
    return FormatGeneral(value, 15, -4, separator);
}

} // namespace platform
