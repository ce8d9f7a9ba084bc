#include <gtest/gtest.h>

#include <QLocale>

#include "DateTime.h"
#include "Numbers.h"

namespace {

class LocaleScope
{
public:
    explicit LocaleScope(const QLocale& locale) : mPrevious(QLocale()) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(mPrevious); }

private:
    QLocale mPrevious;
};

} // namespace

TEST(Numbers, ValReadsTheLeadingNumberWithAPoint)
{
    struct Case { const char* text; double value; };
    const Case cases[] = {
        {"12", 12}, {"  1.5 months", 1.5}, {"-3", -3}, {"7,5", 7}, {"abc", 0}, {"", 0},
        {".5", 0.5}, {"1e3", 1000}, {"2e", 2}, {"+4", 4},
        // not numbers: no infinite or undefined amount is ever read
        {"inf", 0}, {"-inf", 0}, {"nan", 0}, {"infinity", 0}, {"1e999", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(Val(c.text), c.value);
        if (c.value == 0)
            EXPECT_EQ(CDbl(c.text), 0);
    }
}

TEST(Numbers, StrWritesTheShortestPlainForm)
{
    struct Case { double value; const char* text; };
    const Case cases[] = {{120, "120"}, {7.5, "7.5"}, {-0.25, "-0.25"}, {0, "0"}, {1e15, "1000000000000000"}, {0.1, "0.1"}};
    for (const Case& c : cases) {
        EXPECT_EQ(Str(c.value), c.text);
        EXPECT_DOUBLE_EQ(Val(Str(c.value)), c.value);
    }
}

TEST(Numbers, FormattedAmountsReadBackInEveryLocale)
{
    const QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    const double values[] = {0, -0.004, 120, 7.5, -1234.56, 1234567.89, -9876543.21, 0.01, -0.01};
    for (const QLocale& locale : locales) {
        LocaleScope scope(locale);
        for (double value : values) {
            const QString text = Format(value, "-###,###.00");
            SCOPED_TRACE(locale.name().toStdString() + " " + text.toStdString());
            EXPECT_DOUBLE_EQ(CDbl(text), std::round(value * 100) / 100);
        }
    }
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Format(1234567.891, "-###,###.00"), "1.234.567,89");
    EXPECT_EQ(Format(-0.004, "-###,###.00"), "0,00");
    EXPECT_EQ(Format(3912345678.0, "#"), "3912345678");
    EXPECT_DOUBLE_EQ(CDbl("7,5"), 7.5);
    EXPECT_DOUBLE_EQ(CDbl("12,50 EUR"), 12.5);
    EXPECT_DOUBLE_EQ(CDbl("abc"), 0);
}

TEST(Dates, SqlFormsAndMonthCarry)
{
    Date date(2015, 3, 31, 14, 3, 9);
    EXPECT_EQ(date.SQLDate(), "2015-03-31");
    EXPECT_EQ(date.SQLDateTime(), "2015-03-31 14:03:09");

    struct Case { const char* start; long long month; const char* result; };
    const Case cases[] = {
        {"2015-03-31", 15, "2016-03-31"},   // 12 months on
        {"2015-11-20", 14, "2016-02-20"},
        {"2015-01-31", 2, "2015-02-28"},    // day settles on the last day of the month
        {"2016-01-31", 2, "2016-02-29"},
        {"2015-05-15", 0, "2014-12-15"},    // below 1 carries into the preceding year
        {"2015-05-15", -12, "2013-12-15"},
        {"2015-05-15", 5, "2015-05-15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        Date d;
        ASSERT_TRUE(d.SetSQLDate(c.start));
        d.SetMonth(c.month);
        EXPECT_EQ(d.SQLDate(), c.result);
    }
}

TEST(Dates, SetSqlDateRefusesWhatIsNotADate)
{
    Date date(2001, 2, 3);
    for (const char* text : {"2015-02-30", "2015-13-01", "", "20-", "today", "2015/01/02"}) {
        EXPECT_FALSE(date.SetSQLDate(text)) << text;
        EXPECT_EQ(date.SQLDate(), "2001-02-03");
    }
    EXPECT_TRUE(date.SetSQLDate("2015-2-3"));
    EXPECT_EQ(date.SQLDate(), "2015-02-03");
}

TEST(Dates, TotalSecondsCountFrom1904InLocalTime)
{
    EXPECT_EQ(Date(1904, 1, 1).TotalSeconds(), 0);
    EXPECT_EQ(Date(1904, 1, 2, 0, 0, 1).TotalSeconds(), 86401);
    EXPECT_EQ(Date(2001, 1, 1).TotalSeconds(), 3061152000LL);
    const long long now = Date().TotalSeconds();
    EXPECT_GT(now, 3061152000LL);
}

TEST(Dates, ParseDateAcceptsSqlAndTheUserShortForm)
{
    const QLocale locales[] = {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany)};
    for (const QLocale& locale : locales) {
        LocaleScope scope(locale);
        Date parsed(1999, 1, 1);
        ASSERT_TRUE(ParseDate("2015-11-20", parsed));
        EXPECT_EQ(parsed.SQLDate(), "2015-11-20");

        const Date shown(2015, 11, 20);
        ASSERT_TRUE(ParseDate(shown.ShortDate(), parsed)) << shown.ShortDate().toStdString();
        EXPECT_EQ(parsed.SQLDate(), "2015-11-20");

        for (const char* bad : {"2015-02-30", "", "hello", "31.31.2015", "Date"}) {
            Date untouched(1999, 1, 1);
            EXPECT_FALSE(ParseDate(bad, untouched)) << bad;
            EXPECT_EQ(untouched.SQLDate(), "1999-01-01");
        }
    }
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    Date parsed;
    ASSERT_TRUE(ParseDate("20.11.15", parsed));
    EXPECT_EQ(parsed.SQLDate(), "2015-11-20");
    ASSERT_TRUE(ParseDate("20.11.2015", parsed));
    EXPECT_EQ(parsed.SQLDate(), "2015-11-20");
    ASSERT_TRUE(ParseDate("01.01.99", parsed)); // a two-digit year too far ahead is the last century's
    EXPECT_EQ(parsed.SQLDate(), "1999-01-01");
}
