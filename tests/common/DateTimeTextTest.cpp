#include "common/DateTimeText.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {
// Sets the program's locale for one test and restores the previous one.
class LocaleScope final
{
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    QLocale m_saved;
};
} // namespace

TEST(GeneralDateTimeText, ShortDateBlankLongTimeWithoutZone)
{
    const QDateTime when(QDate(2026, 3, 5), QTime(14, 7, 9), Qt::UTC);
    {
        LocaleScope us(QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_EQ(generalDateTimeText(when), QString("3/5/26 2:07:09 PM"));
    }
    {
        LocaleScope de(QLocale(QLocale::German, QLocale::Germany));
        EXPECT_EQ(generalDateTimeText(when), QString("05.03.26 14:07:09"));
    }
    LocaleScope de(QLocale(QLocale::German, QLocale::Germany));
    // The zone of the time never shows, whatever zone the time is in.
    const QDateTime local(QDate(2026, 3, 5), QTime(14, 7, 9), Qt::LocalTime);
    EXPECT_EQ(generalDateTimeText(local), QString("05.03.26 14:07:09"));
}

TEST(GeneralDateTimeText, MidnightShowsTheDateAlone)
{
    LocaleScope de(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(generalDateTimeText(QDateTime(QDate(2026, 12, 31), QTime(0, 0))), QString("31.12.26"));
    EXPECT_EQ(generalDateTimeText(QDateTime(QDate(2026, 12, 31), QTime(0, 0, 1))),
              QString("31.12.26 00:00:01"));
}

TEST(StoredDateText, WritesOneFixedFormAndReadsTheLocalesToo)
{
    LocaleScope de(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(storedDateText(QDate(2026, 1, 5)), QString("2026-01-05"));
    EXPECT_EQ(parseStoredDate("2026-01-05"), QDate(2026, 1, 5));
    EXPECT_EQ(parseStoredDate(" 1960-07-01 "), QDate(1960, 7, 1));
    EXPECT_EQ(parseStoredDate("05.01.26"), QDate(2026, 1, 5));
    EXPECT_EQ(parseStoredDate("05.01.2026"), QDate(2026, 1, 5));
    EXPECT_EQ(parseStoredDate(""), std::nullopt);
    EXPECT_EQ(parseStoredDate("32.13.2026"), std::nullopt);
    EXPECT_EQ(parseStoredDate("garbled"), std::nullopt);

    LocaleScope us(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(parseStoredDate("1/5/2026"), QDate(2026, 1, 5));
    EXPECT_EQ(parseStoredDate("12/24/99"), QDate(1999, 12, 24));
    EXPECT_EQ(parseStoredDate("2026-01-05"), QDate(2026, 1, 5));
}

TEST(StoredNumberText, PointAlwaysAndTheLocalesSeparatorOnRead)
{
    LocaleScope de(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(storedNumberText(10.5), QString("10.5"));
    EXPECT_EQ(storedNumberText(10), QString("10"));
    EXPECT_EQ(storedNumberText(static_cast<float>(11.3)), QString("11.3"));
    EXPECT_EQ(parseStoredNumber("10.5"), 10.5);
    EXPECT_EQ(parseStoredNumber("10,5"), 10.5);
    EXPECT_EQ(parseStoredNumber(" 12 "), 12.0);
    EXPECT_EQ(parseStoredNumber(""), std::nullopt);
    EXPECT_EQ(parseStoredNumber("abc"), std::nullopt);
    EXPECT_EQ(parseStoredNumber("inf"), std::nullopt);
    EXPECT_EQ(parseStoredNumber("nan"), std::nullopt);
}
