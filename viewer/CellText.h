#pragma once
// The archive's cell grammars: numbers and times of day as the user's regional settings
// write them, and the display form of values. Cells are the file's own single-byte text
// (Windows-1251), so everything here works on bytes. The library converters accept other
// spellings (hexadecimal, "inf", group separators, a point under a comma locale), so these
// are written from the grammars themselves.
#include <QByteArray>
#include <QByteArrayView>
#include <QLocale>
#include <QString>

// The separators and designators cells are read and written with, in the code page.
struct TRegionalSettings {
    QByteArray DecimalSeparator = ".";
    QByteArray TimeSeparator = ":";
    QByteArray TimeAMString = "AM";
    QByteArray TimePMString = "PM";

    static TRegionalSettings FromLocale(const QLocale& locale);
    static TRegionalSettings System() { return FromLocale(QLocale::system()); }
};

namespace viewer {

// Optional leading blanks, an optional sign, digits with at most one decimal separator
// (at least one digit), an optional exponent (E or e, optional sign, digits that may be
// missing), optional trailing blanks. A value past the double range fails; one too small
// for it is 0. On success stores the value when value is not null.
bool TryTextToFloat(QByteArrayView text, const TRegionalSettings& settings,
                    double* value = nullptr);

// Hours, then optionally the time separator and minutes, then optionally the separator
// and seconds, then optionally the decimal separator and milliseconds; a morning or
// afternoon designator (the user's, or AM/PM, any letter case) before or after; blanks
// before each part and at the end. Stores milliseconds since midnight when msecs is set.
bool TryTextToTime(QByteArrayView text, const TRegionalSettings& settings, int* msecs = nullptr);

// The grid's form of a value: rounded half away from zero to 8 significant digits, those
// digits rounded half away from zero at precision decimals (0-4), and written with exactly
// precision decimals (digits past the 8 significant ones are zeros), or in scientific form
// when more than 8 integer digits remain (1E08 for 1e8 at precision 2).
QString FormatValue(double value, int precision, const TRegionalSettings& settings);

// Cell bytes as text, through the code page.
QString DecodeCell(QByteArrayView bytes);

} // namespace viewer
