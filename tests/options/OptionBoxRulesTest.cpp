#include "options/OptionBoxRules.h"

#include <gtest/gtest.h>

TEST(OptionBoxRulesTest, QualityBoxKeepsNumbersUpToHundredCapsAboveAndEmptiesTheRest)
{
    // typed, shown, slider (-1: the slider stays where it is)
    const std::tuple<const char*, const char*, int> cases[] = {
        {"75", "75", 75},      {"0", "0", 0},        {"100", "100", 100}, {"250", "100", 100},
        {"100.5", "100", 100}, {"59.6", "59.6", 60}, // the slider shows what the JPEG writer will use
        {"-5", "", -1},        {"abc", "", -1},      {"", "", -1},        {" ", "", -1},
        {"12abc", "", -1},     {"nan", "", -1},      {"inf", "", -1}};
    for (const auto& [typed, shown, slider] : cases) {
        const auto box = OptionBoxRules::qualityBox(typed);
        EXPECT_EQ(box.text, shown) << typed;
        EXPECT_EQ(box.slider.value_or(-1), slider) << typed;
    }
}

TEST(OptionBoxRulesTest, SecondsBoxClampsToTheSpinRangeFallsBackToTheSpinAndKeepsEmpty)
{
    // typed, spin before, shown, spin after (-1: none)
    const std::tuple<const char*, int, const char*, int> cases[] = {{"12", 3, "10", 10},
                                                                    {"-1", 3, "0", 0},
                                                                    {"x", 7, "7", 7},
                                                                    {"4", 7, "4", 4},
                                                                    {"99999999999999999999", 7, "10", 10},
                                                                    {"", 5, "", -1}};
    for (const auto& [typed, spin, shown, after] : cases) {
        const auto box = OptionBoxRules::secondsBox(typed, spin);
        EXPECT_EQ(box.text, shown) << typed;
        EXPECT_EQ(box.spin.value_or(-1), after) << typed;
    }
}
