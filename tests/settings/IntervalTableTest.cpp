#include "settings/IntervalTable.h"

#include <gtest/gtest.h>

TEST(IntervalTable, ItemsInOrderFoundByTextWithTheirPresetSeconds)
{
    ASSERT_EQ(IntervalTable::count(), 23);
    const std::pair<int, const char*> samples[] = {{0, "Custom"},     {1, "Never"},    {2, "Constantly"},
                                                   {3, "10 seconds"}, {6, "1 minute"}, {14, "1 hour"},
                                                   {22, "Week"}};
    for (const auto& [position, text] : samples) {
        EXPECT_EQ(IntervalTable::item(position).text, QString(text));
        EXPECT_EQ(IntervalTable::positionOf(text), position) << text;
    }
    EXPECT_EQ(IntervalTable::item(0).data, -6);
    EXPECT_EQ(IntervalTable::item(1).data, -3);
    EXPECT_EQ(IntervalTable::item(2).data, 0);
    EXPECT_EQ(IntervalTable::item(14).data, 3600000);
    EXPECT_EQ(IntervalTable::item(22).data, 604800000);
    EXPECT_EQ(IntervalTable::positionOf("never"), 1);
    EXPECT_EQ(IntervalTable::positionOf("Fortnight"), std::nullopt);
    EXPECT_EQ(IntervalTable::positionOf(""), std::nullopt);

    // Each preset is longer than the one before it, and its seconds count as preset seconds.
    for (int i = 2; i < IntervalTable::count(); ++i) {
        if (i > 2) {
            EXPECT_GT(IntervalTable::item(i).data, IntervalTable::item(i - 1).data) << i;
        }
        EXPECT_TRUE(IntervalTable::isPresetSeconds(IntervalTable::item(i).data / 1000)) << i;
    }
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
