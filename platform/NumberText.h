#pragma once
// Number texts as the project file and the user write them: the integer text rule, the
// integer conversion of attributes, regional reals and the saved form of a real.
#include <QChar>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace platform {

// The integer text rule: optional leading blanks, an optional "+" or "-", then decimal
// digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing may follow.
// Decimal must fit in a signed 32-bit number, hexadecimal in 32 bits (so "$FFFFFFFF" is -1).
std::optional<int32_t> ParseIntegerText(QStringView text);

// The one conversion of the project file's integer attributes (packet function, device
// address, column widths, channel and view attributes). Plain decimal with an optional
// minus converts; so does everything the integer text rule accepts.
std::optional<int32_t> AttributeToInt(QStringView text);

// The user's decimal separator: the one of the default QLocale.
QChar DecimalSeparator();

// A real written as: optional blanks, an optional sign, digits with at most one decimal
// separator (any one of `separators`), an optional exponent ("E" or "e" and an optionally
// signed integer), optional trailing blanks. At least one digit is needed before the
// exponent. Nothing converts when the value leaves the range of a double.
std::optional<double> ParseRealText(QStringView text, QStringView separators);
// The same text at extended precision, where the platform has it: a typed value is
// checked against its bounds before any rounding.
std::optional<long double> ParseRealTextExtended(QStringView text, QStringView separators);

// Rounds to single precision; nothing when the value is beyond the largest single.
std::optional<float> RoundToSingle(double value);

// The fixed format of shown values: the value rounded once, half away from zero, at
// `precision` significant digits or at `digits` decimals, whichever keeps fewer digits,
// written with exactly `digits` decimals and at least one digit before the separator;
// "-" for a negative value that does not round to zero; no grouping. A value with more
// than `precision` digits before the separator is written in scientific notation with
// `precision` significant digits ("1,2345679E9"). "NAN", "INF" as below.
QString FormatFixed(double value, int digits, QChar separator, int precision = 8);

// The same form with the value rounded in two steps, each half away from zero: first to
// `precision` significant digits, then those decimal digits at `digits` decimals, so a
// written decimal half (2.675, held in binary just below) goes up. The scientific form
// takes the first step's digits.
QString FormatFixedInTwoSteps(double value, int digits, QChar separator, int precision = 8);

// The general format: at most `precision` significant digits (rounded half away from
// zero), trailing zeros and a trailing separator dropped; scientific notation ("1,5E-6",
// "1E20") for more than `precision` digits before the separator or a decimal exponent
// below `minFixedExponent` (-4: below 0.0001, -5: below 0.00001); "NAN" and "INF" (with
// "-" when the sign bit is set) for values that are not finite.
QString FormatGeneral(double value, int precision, int minFixedExponent, QChar separator);

// The general format with 15 significant digits: trailing zeros dropped, fixed notation
// from 0.0001 up to 15 integer digits, scientific ("1.5E-5", "1E20") otherwise; "NAN" and
// "INF" (with "-" when the sign bit is set) for values that are not finite.
QString FormatGeneral15(double value, QChar separator);

} // namespace platform
