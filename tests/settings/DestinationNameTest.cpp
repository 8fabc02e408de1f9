#include "settings/DestinationName.h"

#include <gtest/gtest.h>

TEST(DestinationName, NamesPassPathsAndControlCharactersDoNot)
{
    const struct
    {
        QString name;
        QString problem;
    } cases[] = {
        {"webcam", ""},
        {"my cam #1 100% ?ü&+;=", ""},
        {"..cam", ""},
        {"", ""},
        {"../evil", "contains \"/\" or \"\\\""},
        {"a\\b", "contains \"/\" or \"\\\""},
        {"/etc/passwd", "contains \"/\" or \"\\\""},
        {".", "is \".\""},
        {"..", "is \"..\""},
        {"cam\r\nDELE x", "contains a line break or another control character"},
        {QString("cam") + QChar(0x85), "contains a line break or another control character"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DestinationName::problem(c.name), c.problem) << c.name.toStdString();
}
