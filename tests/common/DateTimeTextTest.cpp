#include "common/DateTimeText.h"
#include "EnvScope.h"

#include <gtest/gtest.h>

namespace {
const QLocale kGerman(QLocale::German, QLocale::Germany);
const QLocale kUs(QLocale::English, QLocale::UnitedStates);
} // namespace

TEST(GeneralDateTimeText, ShortDateBlankLongTimeWithoutZoneAndMidnightAsTheDateAlone)
{
    const QDateTime when(QDate(2026, 3, 5), QTime(14, 7, 9), Qt::UTC);
    {
        LocaleScope us(kUs);
        EXPECT_EQ(generalDateTimeText(when), QString("3/5/26 2:07:09 PM"));
    }
    LocaleScope de(kGerman);
    EXPECT_EQ(generalDateTimeText(when), QString("05.03.26 14:07:09"));
    // The zone of the time never shows, whatever zone the time is in.
    EXPECT_EQ(generalDateTimeText(QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9), Qt::LocalTime)),
              QString("05.03.26 14:07:09"));
    EXPECT_EQ(generalDateTimeText(QDateTime(QDate(2026, 12, 31), QTime(0, 0))), QString("31.12.26"));
    EXPECT_EQ(generalDateTimeText(QDateTime(QDate(2026, 12, 31), QTime(0, 0, 1))),
              QString("31.12.26 00:00:01"));
}

TEST(StoredText, DatesAndNumbersWriteOneFixedFormAndReadTheLocalesToo)
{
    LocaleScope de(kGerman);
    EXPECT_EQ(storedDateText(QDate(2026, 1, 5)), QString("2026-01-05"));
    const std::pair<const char*, QDate> dates[] = {{"2026-01-05", QDate(2026, 1, 5)},
                                                   {" 1960-07-01 ", QDate(1960, 7, 1)},
                                                   {"05.01.26", QDate(2026, 1, 5)},
                                                   {"05.01.2026", QDate(2026, 1, 5)},
                                                   {"", QDate()},
                                                   {"32.13.2026", QDate()},
                                                   {"garbled", QDate()}};
    for (const auto& [text, date] : dates)
        EXPECT_EQ(parseStoredDate(text), date.isValid() ? std::optional(date) : std::nullopt) << text;

    EXPECT_EQ(storedNumberText(10.5), QString("10.5"));
    EXPECT_EQ(storedNumberText(10), QString("10"));
    EXPECT_EQ(storedNumberText(static_cast<float>(11.3)), QString("11.3"));
    for (const auto& [text, number] : std::initializer_list<std::pair<const char*, double>>{
             {"10.5", 10.5}, {"10,5", 10.5}, {" 12 ", 12.0}, {"", -1}, {"abc", -1}, {"inf", -1}, {"nan", -1}})
        EXPECT_EQ(parseStoredNumber(text), number < 0 ? std::nullopt : std::optional(number)) << text;

    LocaleScope us(kUs);
    EXPECT_EQ(parseStoredDate("1/5/2026"), QDate(2026, 1, 5));
    EXPECT_EQ(parseStoredDate("12/24/99"), QDate(1999, 12, 24));
    EXPECT_EQ(parseStoredDate("2026-01-05"), QDate(2026, 1, 5));
}
