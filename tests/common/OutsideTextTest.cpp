#include "common/OutsideText.h"

#include <gtest/gtest.h>

namespace {
const QString kFffd = QString(QChar(QChar::ReplacementCharacter));
} // namespace

// Whatever comes from outside, one line stays one line and cannot steer a terminal.
TEST(OutsideText, LinesLoseControlsEscapesAndBidiMarks)
{
    const struct
    {
        QString in;
        QString out;
    } cases[] = {
        {"550 Not enough privileges.", "550 Not enough privileges."},
        {"a\rPicture uploaded!", "a" + kFffd + "Picture uploaded!"},
        {QString("a") + QChar(0x85) + "b" + QChar(0x9f) + "c", "a" + kFffd + "b" + kFffd + "c"},
        {QString("x") + QChar(0x1b) + "[31mred" + QChar(0x1b) + "[0m", "x" + kFffd + "red" + kFffd},
        {QString("cn=") + QChar(0x1b) + "]0;title" + QChar(0x07) + "host", "cn=" + kFffd + "host"},
        {QString(QChar(0x9b)) + "2Jgone", kFffd + "gone"},
        {QString("tab\there") + QChar(0x7f), "tab here" + kFffd},
        {QString("abc") + QChar(0x202e) + "gpj.exe", "abc" + kFffd + "gpj.exe"},
        {QString("a") + QChar(0x2028) + "b", "a" + kFffd + "b"},
        {QString("end") + QChar(0x1b), "end" + kFffd},
        {"Grüße 日本", "Grüße 日本"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OutsideText::line(c.in), c.out) << c.in.toStdString();
}

TEST(OutsideText, EveryLineOfAReplyIsMarked)
{
    EXPECT_EQ(OutsideText::marked("Server: ", "553-No.\r\nPicture uploaded!\r\nDisconnected\n553 End\r\n"),
              QStringList({"Server: 553-No.", "Server: Picture uploaded!", "Server: Disconnected",
                           "Server: 553 End"}));
    EXPECT_EQ(OutsideText::lines("one\r\rtwo"), QStringList{"one" + kFffd + kFffd + "two"});
    EXPECT_TRUE(OutsideText::lines("").isEmpty());
    EXPECT_EQ(OutsideText::lines("a\n\nb"), QStringList({"a", "", "b"}));
}
