#include "settings/IntervalTable.h"

#include <gtest/gtest.h>

TEST(IntervalTable, HoldsTheItemsInOrderWithTheirData)
{
    ASSERT_EQ(IntervalTable::count(), 23);
    EXPECT_EQ(IntervalTable::item(0).text, QString("Custom"));
    EXPECT_EQ(IntervalTable::item(0).data, -6);
    EXPECT_EQ(IntervalTable::item(1).text, QString("Never"));
    EXPECT_EQ(IntervalTable::item(1).data, -3);
    EXPECT_EQ(IntervalTable::item(2).text, QString("Constantly"));
    EXPECT_EQ(IntervalTable::item(2).data, 0);
    EXPECT_EQ(IntervalTable::item(6).text, QString("1 minute"));
    EXPECT_EQ(IntervalTable::item(14).text, QString("1 hour"));
    EXPECT_EQ(IntervalTable::item(14).data, 3600000);
    EXPECT_EQ(IntervalTable::item(22).text, QString("Week"));
    EXPECT_EQ(IntervalTable::item(22).data, 604800000);
    // Each preset is longer than the one before it.
    for (int i = 3; i < IntervalTable::count(); ++i)
        EXPECT_GT(IntervalTable::item(i).data, IntervalTable::item(i - 1).data) << i;
}

TEST(IntervalTable, FindsItemsByText)
{
    EXPECT_EQ(IntervalTable::positionOf("10 seconds"), 3);
    EXPECT_EQ(IntervalTable::positionOf("Week"), 22);
    EXPECT_EQ(IntervalTable::positionOf("never"), 1);
    EXPECT_EQ(IntervalTable::positionOf("Fortnight"), std::nullopt);
    EXPECT_EQ(IntervalTable::positionOf(""), std::nullopt);
}

TEST(IntervalTable, PresetSeconds)
{
    const qint64 presets[] = {0,    10,   20,   30,    60,    120,   180,   240,   300,   600,   1200,
                              1800, 3600, 7200, 10800, 14400, 18000, 21600, 43200, 86400, 604800};
    for (qint64 seconds : presets)
        EXPECT_TRUE(IntervalTable::isPresetSeconds(seconds)) << seconds;
    for (qint64 seconds : {1, 45, 59, 61, 3599, 604801})
        EXPECT_FALSE(IntervalTable::isPresetSeconds(seconds)) << seconds;
    EXPECT_TRUE(IntervalTable::isPresetSecondsText("600"));
    EXPECT_FALSE(IntervalTable::isPresetSecondsText(""));
    EXPECT_FALSE(IntervalTable::isPresetSecondsText("abc"));

    EXPECT_EQ(IntervalTable::presetSecondsText(2), QString("0"));
    EXPECT_EQ(IntervalTable::presetSecondsText(22), QString("604800"));
    EXPECT_EQ(IntervalTable::presetSecondsText(IntervalTable::kNever), QString(""));
    EXPECT_EQ(IntervalTable::presetSecondsText(IntervalTable::kCustom), std::nullopt);
    EXPECT_EQ(IntervalTable::presetSecondsText(23), std::nullopt);
}
