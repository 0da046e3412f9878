#include "NumberText.h"

#include <QLocale>
#include <cfloat>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace platform;

namespace {

struct IntCase {
    const char* text;
    std::optional<int32_t> expected;
};

TEST(ParseIntegerText, Table) {
    const IntCase cases[] = {
        {"26", 26},
        {" 26", 26},
        {"\t 26", 26},
        {"+26", 26},
        {"0x1A", 26},
        {"0X1a", 26},
        {"$1A", 26},
        {"x1A", 26},
        {"X1A", 26},
        {"-$1A", -26},
        {"-1", -1},
        {"007", 7},
        {"0", 0},
        {"70000", 70000},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"$FFFFFFFF", -1},
        {"0x80000000", INT32_MIN},
        {"26 ", std::nullopt},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"+", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"abc", std::nullopt},
        {"1.5", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"--1", std::nullopt},
        {"+-1", std::nullopt},
        {"0x1G", std::nullopt},
        {"1a", std::nullopt},
        {"99999999999999999999", std::nullopt},
    };
    for (const IntCase& c : cases) {
        EXPECT_EQ(ParseIntegerText(QString::fromLatin1(c.text)), c.expected)
            << '"' << c.text << '"';
        EXPECT_EQ(AttributeToInt(QString::fromLatin1(c.text)), c.expected) << '"' << c.text << '"';
    }
}

struct RealCase {
    const char* text;
    const char16_t* separators;
    std::optional<double> expected;
};

TEST(ParseRealText, Table) {
    const RealCase cases[] = {
        {"12,5", u",", 12.5},
        {"12.5", u".", 12.5},
        {"12.5", u",", std::nullopt},
        {"12,5", u".", std::nullopt},
        {"12.5", u".,", 12.5},
        {"12,5", u".,", 12.5},
        {" -1,5E-2 ", u",", -0.015},
        {"+3e2", u",", 300.0},
        {",5", u",", 0.5},
        {"5,", u",", 5.0},
        {"7", u",", 7.0},
        {"1,2,3", u".,", std::nullopt},
        {"1.2,3", u".,", std::nullopt},
        {"e5", u",", std::nullopt},
        {",", u",", std::nullopt},
        {"1e", u",", std::nullopt},
        {"1e+", u",", std::nullopt},
        {"", u",", std::nullopt},
        {"abc", u",", std::nullopt},
        {"NAN", u",", std::nullopt},
        {"INF", u",", std::nullopt},
        {"1 2", u",", std::nullopt},
        {"1e400", u",", std::nullopt},
        {"0x10", u",", std::nullopt},
    };
    for (const RealCase& c : cases)
        EXPECT_EQ(ParseRealText(QString::fromLatin1(c.text), c.separators), c.expected)
            << '"' << c.text << "\" with " << QString::fromUtf16(c.separators).toStdString();
}

// The same syntax; only the precision and the range of the result differ.
TEST(ParseRealTextExtended, KeepsWhatADoubleLoses) {
    EXPECT_GT(*ParseRealTextExtended(u"100,000000000000001", u","), 100.0L);
    EXPECT_EQ(*ParseRealText(u"100,000000000000001", u","), 100.0);
    EXPECT_GT(*ParseRealTextExtended(u"1e400", u","), 1e300L);
    EXPECT_EQ(ParseRealTextExtended(u" -1,5E-2 ", u","), -0.015L);
    for (const char16_t* bad : {u"12.5", u"", u"1e", u"1 2", u"1e99999"})
        EXPECT_EQ(ParseRealTextExtended(bad, u","), std::nullopt)
            << QString::fromUtf16(bad).toStdString();
}

TEST(RoundToSingle, RangeOfASingle) {
    EXPECT_EQ(RoundToSingle(0.1), 0.1f);
    EXPECT_EQ(RoundToSingle(-FLT_MAX), -FLT_MAX);
    EXPECT_EQ(RoundToSingle(3.4028235e38), FLT_MAX);
    EXPECT_EQ(RoundToSingle(3.5e38), std::nullopt);
    EXPECT_EQ(RoundToSingle(std::numeric_limits<double>::infinity()), std::nullopt);
}

struct FormatCase {
    double value;
    const char* point;
    const char* comma;
};

TEST(FormatGeneral15, Table) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const FormatCase cases[] = {
        {12.5, "12.5", "12,5"},
        {double(0.1f), "0.100000001490116", "0,100000001490116"},
        {0.0, "0", "0"},
        {-0.0, "0", "0"},
        {65535.0, "65535", "65535"},
        {-2.5, "-2.5", "-2,5"},
        {123456789012345.0, "123456789012345", "123456789012345"},
        {999999999999999.9, "1E15", "1E15"},
        {1e15, "1E15", "1E15"},
        {double(1e20f), "1.00000002004088E20", "1,00000002004088E20"},
        {0.0001, "0.0001", "0,0001"},
        {0.00012345, "0.00012345", "0,00012345"},
        {0.00005, "5E-5", "5E-5"},
        {-1.5e-7, "-1.5E-7", "-1,5E-7"},
        {nan, "NAN", "NAN"},
        {-nan, "-NAN", "-NAN"},
        {inf, "INF", "INF"},
        {-inf, "-INF", "-INF"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(FormatGeneral15(c.value, u'.').toStdString(), c.point);
        EXPECT_EQ(FormatGeneral15(c.value, u',').toStdString(), c.comma);
    }
}

// Shown values: two decimals, eight significant digits, one rounding half away from zero.
TEST(FormatFixed, Table) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const FormatCase cases[] = {
        {double(1234567.891f), "1234567.90", "1234567,90"}, // 1234567.875: 8 digits win
        {double(12.3456f), "12.35", "12,35"},
        {double(0.1f), "0.10", "0,10"},
        {0.125, "0.13", "0,13"}, // an exact half goes away from zero
        {-0.125, "-0.13", "-0,13"},
        {0.005, "0.01", "0,01"},
        {0.004, "0.00", "0,00"},
        {-0.004, "0.00", "0,00"}, // no sign on a value shown as zero
        {0.0, "0.00", "0,00"},
        {-0.0, "0.00", "0,00"},
        {2.5, "2.50", "2,50"},
        {-65535.0, "-65535.00", "-65535,00"},
        {double(12345678.0f), "12345678.00", "12345678,00"},
        {9999999.96, "10000000.00", "10000000,00"}, // the carry stays within 8 digits
        {99999999.5, "1E8", "1E8"},                 // the carry makes 9 digits
        {double(123456789.0f), "1.2345679E8", "1,2345679E8"},
        {-double(1e20f), "-1E20", "-1E20"},
        {nan, "NAN", "NAN"},
        {inf, "INF", "INF"},
        {-inf, "-INF", "-INF"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(FormatFixed(c.value, 2, u'.').toStdString(), c.point) << c.value;
        EXPECT_EQ(FormatFixed(c.value, 2, u',').toStdString(), c.comma) << c.value;
    }
    EXPECT_EQ(FormatFixed(2.5, 0, u','), "3");
    EXPECT_EQ(FormatFixed(0.5, 3, u','), "0,500");
}

// The general format of a case's real: fixed notation down to 0.00001.
TEST(FormatGeneral, FixedDownToTheFifthDecimal) {
    const FormatCase cases[] = {
        {double(0.1f), "0.100000001490116", "0,100000001490116"},
        {12.5, "12.5", "12,5"},
        {-2.5, "-2.5", "-2,5"},
        {123456.0, "123456", "123456"},
        {0.00001, "0.00001", "0,00001"},
        {double(1e-5f), "9.99999974737875E-6", "9,99999974737875E-6"},
        {0.000015, "0.000015", "0,000015"},
        {1e15, "1E15", "1E15"},
        {0.0, "0", "0"},
    };
    for (const FormatCase& c : cases) {
        EXPECT_EQ(FormatGeneral(c.value, 15, -5, u'.').toStdString(), c.point) << c.value;
        EXPECT_EQ(FormatGeneral(c.value, 15, -5, u',').toStdString(), c.comma) << c.value;
    }
}

TEST(DecimalSeparator, FollowsDefaultLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(DecimalSeparator(), u',');
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(DecimalSeparator(), u'.');
    QLocale::setDefault(saved);
}

} // namespace
