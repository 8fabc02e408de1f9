#include "options/OptionBoxRules.h"

#include <gtest/gtest.h>

using OptionBoxRules::qualityBox;
using OptionBoxRules::secondsBox;

TEST(OptionBoxRulesTest, QualityBoxKeepsNumbersUpToHundredAndMovesTheSlider)
{
    EXPECT_EQ(qualityBox("75").text, "75");
    EXPECT_EQ(qualityBox("75").slider, 75);
    EXPECT_EQ(qualityBox("0").slider, 0);
    EXPECT_EQ(qualityBox("100").slider, 100);
    // The slider shows what the JPEG writer will use for a fractional quality.
    EXPECT_EQ(qualityBox("59.6").text, "59.6");
    EXPECT_EQ(qualityBox("59.6").slider, 60);
}

TEST(OptionBoxRulesTest, QualityBoxCapsAtHundredAndEmptiesEverythingElse)
{
    EXPECT_EQ(qualityBox("250").text, "100");
    EXPECT_EQ(qualityBox("250").slider, 100);
    EXPECT_EQ(qualityBox("100.5").text, "100");
    for (const char* bad : {"-5", "abc", "", " ", "12abc", "nan", "inf"}) {
        SCOPED_TRACE(bad);
        EXPECT_EQ(qualityBox(bad).text, "");
        EXPECT_FALSE(qualityBox(bad).slider.has_value());
    }
}

TEST(OptionBoxRulesTest, SecondsBoxClampsToTheSpinRangeAndFallsBackToTheSpin)
{
    EXPECT_EQ(secondsBox("12", 3).text, "10");
    EXPECT_EQ(secondsBox("12", 3).spin, 10);
    EXPECT_EQ(secondsBox("-1", 3).text, "0");
    EXPECT_EQ(secondsBox("-1", 3).spin, 0);
    EXPECT_EQ(secondsBox("x", 7).text, "7");
    EXPECT_EQ(secondsBox("x", 7).spin, 7);
    EXPECT_EQ(secondsBox("4", 7).text, "4");
    EXPECT_EQ(secondsBox("4", 7).spin, 4);
    EXPECT_EQ(secondsBox("99999999999999999999", 7).text, "10");
}

TEST(OptionBoxRulesTest, SecondsBoxLeavesAnEmptyBoxEmpty)
{
    const OptionBoxRules::SecondsBox result = secondsBox("", 5);
    EXPECT_EQ(result.text, "");
    EXPECT_FALSE(result.spin.has_value());
}
