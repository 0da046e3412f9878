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

TEST(DecimalSeparator, FollowsDefaultLocale) {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    EXPECT_EQ(DecimalSeparator(), u',');
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(DecimalSeparator(), u'.');
    QLocale::setDefault(saved);
}

} // namespace
