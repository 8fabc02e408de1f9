#include "common/OutsideText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
const QString kFffd = QString(QChar(QChar::ReplacementCharacter));

// What the filter does with one UTF-16 code unit standing between two letters.
enum class Treatment {
    Kept,
    Replaced,      // by U+FFFD
    Blank,         // the tab
    StartsSequence // a terminal escape sequence starts here (alone, it is replaced)
};

struct CharClass
{
    const char* name;
    char16_t first;
    char16_t last;
    Treatment treatment;
};

// Every code unit of the Basic Multilingual Plane but the surrogates, in order, each in exactly
// one class.
const std::vector<CharClass>& classes()
{
    using T = Treatment;
    static const std::vector<CharClass> table{
        {"C0 controls before the tab", 0x0000, 0x0008, T::Replaced},
        {"tab", 0x0009, 0x0009, T::Blank},
        {"line feed, vertical tab, form feed, carriage return and C0 controls up to ESC", 0x000A, 0x001A,
         T::Replaced},
        {"ESC", 0x001B, 0x001B, T::StartsSequence},
        {"C0 controls after ESC", 0x001C, 0x001F, T::Replaced},
        {"printable ASCII", 0x0020, 0x007E, T::Kept},
        {"DEL", 0x007F, 0x007F, T::Replaced},
        {"C1 controls before CSI (NEL among them)", 0x0080, 0x009A, T::Replaced},
        {"CSI", 0x009B, 0x009B, T::StartsSequence},
        {"string terminator", 0x009C, 0x009C, T::Replaced},
        {"OSC", 0x009D, 0x009D, T::StartsSequence},
        {"C1 controls after OSC", 0x009E, 0x009F, T::Replaced},
        {"Latin-1 to Arabic", 0x00A0, 0x061B, T::Kept},
        {"Arabic letter mark", 0x061C, 0x061C, T::Replaced},
        {"Arabic to the zero-width joiner", 0x061D, 0x200D, T::Kept},
        {"left-to-right and right-to-left marks", 0x200E, 0x200F, T::Replaced},
        {"dashes, quotes and dots", 0x2010, 0x2027, T::Kept},
        {"line and paragraph separators", 0x2028, 0x2029, T::Replaced},
        {"bidirectional embeddings, pop and overrides", 0x202A, 0x202E, T::Replaced},
        {"narrow no-break space to invisible plus", 0x202F, 0x2065, T::Kept},
        {"bidirectional isolates and their pop", 0x2066, 0x2069, T::Replaced},
        {"the rest below the surrogates", 0x206A, 0xD7FF, T::Kept},
        {"private use and the rest of the plane", 0xE000, 0xFFFF, T::Kept},
    };
    return table;
}

QString between(char16_t c)
{
    return QStringLiteral("a") + QChar(c) + QStringLiteral("b");
}

std::string hex(char32_t c)
{
    return "U+" + QString::number(static_cast<uint>(c), 16).toUpper().toStdString();
}
} // namespace

TEST(OutsideText, TheClassesCoverThePlaneOnceInOrder)
{
    char32_t next = 0;
    for (const CharClass& c : classes()) {
        if (next == 0xD800)
            next = 0xE000; // the surrogates come in pairs, walked below
        EXPECT_EQ(char32_t{c.first}, next) << c.name;
        EXPECT_LE(c.first, c.last) << c.name;
        next = char32_t{c.last} + 1;
    }
    EXPECT_EQ(next, char32_t{0x10000});
}

// Every character of every class, not examples: a class dropped from the filter (the isolates,
// say) or a printable one caught by it fails here.
TEST(OutsideText, EveryCharacterOfEachClassIsKeptReplacedOrStartsASequence)
{
    for (const CharClass& c : classes()) {
        SCOPED_TRACE(c.name);
        for (char32_t unit = c.first; unit <= c.last; ++unit) {
            const auto code = static_cast<char16_t>(unit);
            QString expected;
            QString given = between(code);
            switch (c.treatment) {
            case Treatment::Kept:
                expected = given;
                break;
            case Treatment::Replaced:
                expected = "a" + kFffd + "b";
                break;
            case Treatment::Blank:
                expected = "a b";
                break;
            case Treatment::StartsSequence:
                given = QStringLiteral("a") + QChar(code);
                expected = "a" + kFffd;
                break;
            }
            ASSERT_EQ(OutsideText::line(given), expected) << hex(unit);
            // Only a line feed ends a line of a reply; nothing else splits it.
            if (c.treatment != Treatment::StartsSequence && unit != u'\n') {
                ASSERT_EQ(OutsideText::lines(given), QStringList{expected}) << hex(unit);
            }
        }
    }
}

TEST(OutsideText, CharactersBeyondThePlaneAreKeptWhole)
{
    for (char32_t point = 0x10000; point <= 0x10FFFF; ++point) {
        const QString text = QStringLiteral("a") + QString::fromUcs4(&point, 1) + QStringLiteral("b");
        ASSERT_EQ(OutsideText::line(text), text) << hex(point);
    }
}

// Each form of terminal escape sequence, with every parameter, intermediate and final byte it
// may hold, becomes one U+FFFD and takes nothing after it.
TEST(OutsideText, EveryFormOfEscapeSequenceBecomesOneMark)
{
    const QString esc(QChar(0x1b));
    const QString csi(QChar(0x9b));
    const QString expected = "x" + kFffd + "y";
    for (char16_t final = 0x40; final <= 0x7e; ++final) {
        for (const QString& introducer : {esc + "[", csi}) {
            ASSERT_EQ(OutsideText::line("x" + introducer + "1;31" + QChar(final) + "y"), expected)
                << hex(final);
        }
    }
    for (char16_t parameter = 0x20; parameter <= 0x3f; ++parameter) {
        ASSERT_EQ(OutsideText::line("x" + esc + "[" + QChar(parameter) + "my"), expected) << hex(parameter);
    }
    // Strings: operating system commands, device control, privacy and application strings, up to
    // BEL or a string terminator in either form.
    for (const QString& introducer : {esc + "]", esc + "P", esc + "_", esc + "^", QString(QChar(0x9d))}) {
        for (const QString& terminator : {QString(QChar(0x07)), esc + "\\", QString(QChar(0x9c))}) {
            ASSERT_EQ(OutsideText::line("x" + introducer + "0;a title" + terminator + "y"), expected)
                << introducer.toStdString();
        }
        // One that never ends takes the rest of the line with it.
        ASSERT_EQ(OutsideText::line("x" + introducer + "0;no end"), "x" + kFffd);
    }
    // ESC and one printable character.
    for (char16_t second = 0x20; second <= 0x7e; ++second) {
        if (QStringLiteral("[]P_^").contains(QChar(second)))
            continue;
        ASSERT_EQ(OutsideText::line("x" + esc + QChar(second) + "y"), expected) << hex(second);
    }
}

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
        {QString("x") + QChar(0x1b) + "[31mred" + QChar(0x1b) + "[0m", "x" + kFffd + "red" + kFffd},
        {QString("cn=") + QChar(0x1b) + "]0;title" + QChar(0x07) + "host", "cn=" + kFffd + "host"},
        {QString("abc") + QChar(0x202e) + "gpj.exe", "abc" + kFffd + "gpj.exe"},
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
