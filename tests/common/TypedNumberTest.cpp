#include "common/TypedNumber.h"

#include <gtest/gtest.h>

namespace {
// What a box from 0 to 100 keeps of each text typed into it while it holds 45, and whether it
// says why; absent: it keeps 45.
TEST(TypedNumberTest, PlainNumbersAreKeptAsWholeNumbersWithinTheRangeAndAnythingElseKeepsTheOld)
{
    const struct
    {
        const char* typed;
        std::optional<const char*> kept;
        bool noted;
    } cases[] = {
        {"7", "7", false},
        {" 7 ", "7", false},
        {"+7", "7", false},
        {"007", "7", false},
        {"12.", "12", false},
        {"12.9", "12", true},
        {".5", "0", true},
        {"-4", "0", true},
        {"-0.5", "0", true},
        {"250", "100", true},
        {"99999999999", "100", true},
        {"100", "100", false},
        {"0", "0", false},
        {"3e2", std::nullopt, true},
        {"0x10", std::nullopt, true},
        {"abc", std::nullopt, true},
        {"1 2", std::nullopt, true},
        {"1,000.5", std::nullopt, true},
        {"inf", std::nullopt, true},
        {"nan", std::nullopt, true},
        {"-", std::nullopt, true},
        {".", std::nullopt, true},
        {"١٢", std::nullopt, true}, // digits of another script are not taken for these
        {"", std::nullopt, true},
    };
    for (const auto& c : cases) {
        const TypedNumber::Result result =
            TypedNumber::read(QString::fromUtf8(c.typed), {0, 100, false}, "45");
        EXPECT_EQ(result.text, c.kept ? std::optional<QString>(*c.kept) : std::nullopt) << c.typed;
        EXPECT_EQ(!result.note.isEmpty(), c.noted) << c.typed << ": " << result.note.toStdString();
    }
}

TEST(TypedNumberTest, AnEmptyBoxMeansNoneWhereTheBoxAllowsItAndTheNotesNameTheRange)
{
    EXPECT_EQ(TypedNumber::read("", {0, 10, true}, "4").text, QString(""));
    EXPECT_EQ(TypedNumber::read("  ", {0, 10, true}, "4").note, "");
    EXPECT_EQ(TypedNumber::read("", {1, 100, false}, "30").note, "Give a number from 1 to 100: 30 is kept.");
    EXPECT_EQ(TypedNumber::read("abc", {0, 10, true}, "").note,
              "\"abc\" is not a number from 0 to 10: the box stays empty.");
    EXPECT_EQ(TypedNumber::read("115", {1, 100, false}, "30").note, "115 is more than 100: 100 is used.");
    EXPECT_EQ(TypedNumber::read("-4", {0, 100, false}, "30").note, "-4 is less than 0: 0 is used.");
    EXPECT_EQ(TypedNumber::read("12.9", {0, 100, false}, "30").note,
              "12.9 is not a whole number: 12 is used.");
}
} // namespace
