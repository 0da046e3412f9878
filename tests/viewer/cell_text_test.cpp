#include "CellText.h"

#include "CodePage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <optional>

using viewer::FormatValue;
using viewer::TryTextToFloat;
using viewer::TryTextToTime;

namespace {

TRegionalSettings Comma() {
    TRegionalSettings s;
    s.DecimalSeparator = ",";
    s.TimeSeparator = ":";
    return s;
}

TRegionalSettings Point() {
    TRegionalSettings s;
    s.DecimalSeparator = ".";
    s.TimeSeparator = ":";
    return s;
}

std::optional<double> Number(const char* text, const TRegionalSettings& s) {
    double v = 0;
    if (!TryTextToFloat(QByteArrayView(text), s, &v))
        return std::nullopt;
    return v;
}

} // namespace

TEST(CellNumbers, GrammarUnderACommaLocale) {
    struct Case {
        const char* text;
        std::optional<double> value;
    };
    const Case cases[] = {
        {"1,5", 1.5},
        {"  -1,5e3  ", -1500},
        {"+,5", 0.5},
        {"5,", 5},
        {"007", 7},
        {"1e", 1},
        {"1E+", 1},
        {"2e-2", 0.02},
        {"1,7976931348623157e308", 1.7976931348623157e308},
        {"1e-400", 0},
        {"0,0000e99999", 0},
        {"1.5", std::nullopt},
        {",", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"e5", std::nullopt},
        {"E5", std::nullopt},
        {"1 000", std::nullopt},
        {"1,2,3", std::nullopt},
        {"NaN", std::nullopt},
        {"INF", std::nullopt},
        {"inf", std::nullopt},
        {"0x10", std::nullopt},
        {"$10", std::nullopt},
        {"1,8e308", std::nullopt},
        {"-1e400", std::nullopt},
        {"\t1", std::nullopt},
        {"1,5x", std::nullopt},
        {"--1", std::nullopt},
        {"+-1", std::nullopt},
        {"1e5e5", std::nullopt},
        {"1 e5", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<double> got = Number(c.text, Comma());
        ASSERT_EQ(got.has_value(), c.value.has_value());
        if (c.value) {
            EXPECT_DOUBLE_EQ(*got, *c.value);
        }
        EXPECT_EQ(TryTextToFloat(QByteArrayView(c.text), Comma()), c.value.has_value());
    }
}

TEST(CellNumbers, OnlyTheUsersSeparator) {
    EXPECT_EQ(Number("1.25", Point()), 1.25);
    EXPECT_FALSE(Number("1,25", Point()));
    EXPECT_FALSE(Number("1.25", Comma()));
    // A long mantissa near the limits still reads exactly.
    EXPECT_EQ(Number("0.000000000000000000000000000000000000000000000000001e309", Point()), 1e258);
    EXPECT_FALSE(Number("1000000000000000000000000000000000000000000000000000000000e300", Point()));
}

TEST(CellTimes, Grammar) {
    TRegionalSettings s = Comma();
    s.TimeAMString = platform::ToCodePage(QString::fromUtf8("ДП"));
    s.TimePMString = platform::ToCodePage(QString::fromUtf8("ПП"));
    struct Case {
        QByteArray text;
        int msecs; // -1: not a time
    };
    const auto ms = [](int h, int m, int sec, int milli) {
        return ((h * 60 + m) * 60 + sec) * 1000 + milli;
    };
    const Case cases[] = {
        {"12:34:56", ms(12, 34, 56, 0)},
        {"0", 0},
        {"23", ms(23, 0, 0, 0)},
        {"7:5", ms(7, 5, 0, 0)},
        {" 1 : 2 : 3 ", ms(1, 2, 3, 0)},
        {"12:34:56,999", ms(12, 34, 56, 999)},
        {"1:02:03 pm", ms(13, 2, 3, 0)},
        {"AM 12:00", 0},
        {"12 PM", ms(12, 0, 0, 0)},
        {"am12", 0},
        {platform::ToCodePage(QString::fromUtf8("10:00 дп")), ms(10, 0, 0, 0)},
        {platform::ToCodePage(QString::fromUtf8("пп 1")), ms(13, 0, 0, 0)},
        {"24", -1},
        {"12:60", -1},
        {"12:34:60", -1},
        {"12:34:56,1000", -1},
        {"12:34:56.5", -1},
        {"12:30,5", -1},
        {"13 PM", -1},
        {"0 AM", -1},
        {"12:34:", -1},
        {":34", -1},
        {"", -1},
        {"   ", -1},
        {"12:34:56:7", -1},
        {"12-34", -1},
        {"-------", -1},
        {"AM 1 PM", -1},
        {"99999999999999999999", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        int got = -2;
        const bool ok = TryTextToTime(c.text, s, &got);
        EXPECT_EQ(ok, c.msecs >= 0);
        if (c.msecs >= 0) {
            EXPECT_EQ(got, c.msecs);
        }
    }
    // The milliseconds follow the user's decimal separator.
    EXPECT_TRUE(TryTextToTime("12:34:56.5", Point()));
    EXPECT_FALSE(TryTextToTime("12:34:56,5", Point()));
}

namespace {

// One shown value: the cell's value, the precision, the text under a comma locale.
struct ShownCase {
    double value;
    int precision;
    const char* text;
};

void ExpectShown(std::initializer_list<ShownCase> cases) {
    for (const ShownCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " P" << c.precision);
        EXPECT_EQ(FormatValue(c.value, c.precision, Comma()), QString::fromUtf8(c.text));
    }
}

} // namespace

TEST(CellValues, DisplayForm) {
    ExpectShown({
        {1, 0, "1"},
        {1, 4, "1,0000"},
        {1234567.89, 2, "1234567,90"},
        {12345678.9, 2, "12345679,00"},
        {12345678.9, 0, "12345679"}, // eight integer digits, no separator
        {-99999999.4, 0, "-99999999"},
        {1e8, 2, "1E08"},
        {1e8, 0, "1E8"},
        {1e8, 4, "1E0008"},
        {123456789, 2, "1,2345679E08"},
        {-2.5e10, 1, "-2,5E10"},
        {99999999.5, 2, "1E08"},
        {-1.5, 2, "-1,50"},
        {0, 2, "0,00"},
        {-0.0001, 2, "0,00"},
        {0.000123, 4, "0,0001"},
        {0.1, 2, "0,10"},
        {9.99999999, 2, "10,00"},
        {1234.5678, 3, "1234,568"},
        {1.23456789, 4, "1,2346"},
        // Halfway between two results at the decimals: away from zero.
        {2.5, 0, "3"},
        {-2.5, 0, "-3"},
        {0.125, 2, "0,13"},
        {1234.03125, 4, "1234,0313"},
        {1, 7, "1,0000"}, // an edited setting out of range
        {1.4, -1, "1"},
    });
    EXPECT_EQ(FormatValue(1, 4, Point()), "1.0000");
    // What the grid shows reads back as a number.
    double back = 0;
    ASSERT_TRUE(TryTextToFloat(FormatValue(123456789, 2, Comma()).toLatin1(), Comma(), &back));
    EXPECT_EQ(back, 123456790);
}

// Decimal halves as the archive writes them: rounded first to eight significant digits,
// then those digits at the decimals, so a half held just below it in binary still goes up.
TEST(CellValues, DecimalHalvesRoundFromTheEightDigits) {
    ExpectShown({
        {0.4999999999, 0, "1"}, // 0,50000000 after the first step
        {-9999999.5, 0, "-10000000"},
        {0.35, 1, "0,4"},
        {-1.15, 1, "-1,2"},
        {1234567.45, 1, "1234567,4"}, // the first step already ends at the decimal
        {103.725, 2, "103,73"},
        {2.675, 2, "2,68"},
        {0.015, 2, "0,02"},
        {1.005, 2, "1,01"},
        {12.345, 2, "12,35"},
        {-2.675, 2, "-2,68"},
        {1.0049999999, 2, "1,01"},
        {1.0005, 3, "1,001"},
        {-1.0005, 3, "-1,001"},
        {0.00015, 4, "0,0002"},
        {4.00015, 4, "4,0002"},
        {-0.00004999999999, 4, "-0,0001"},
        {0.00004999, 4, "0,0000"},
    });
}

TEST(CellText, RegionalSettingsFromLocale) {
    const TRegionalSettings ru = TRegionalSettings::FromLocale(QLocale(QLocale::Russian));
    EXPECT_EQ(ru.DecimalSeparator, ",");
    EXPECT_EQ(ru.TimeSeparator, ":");
    const TRegionalSettings c = TRegionalSettings::FromLocale(QLocale::c());
    EXPECT_EQ(c.DecimalSeparator, ".");
    EXPECT_EQ(c.TimeSeparator, ":");
    EXPECT_EQ(c.TimeAMString, "AM");
}
