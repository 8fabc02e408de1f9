#include "common/OutsideText.h"

namespace {
constexpr char16_t kEsc = 0x1b;
constexpr char16_t kCsi = 0x9b; // the one-character form of ESC [
constexpr char16_t kOsc = 0x9d; // the one-character form of ESC ]
constexpr char16_t kBel = 0x07;

bool isUnsafe(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069) || c == 0x200e || c == 0x200f ||
           c == 0x061c;
}

// The end of a control sequence's parameters: ECMA-48 parameter and intermediate bytes, then one
// final byte.
qsizetype afterControlSequence(const QString& text, qsizetype at)
{
    while (at < text.size() && text[at].unicode() >= 0x20 && text[at].unicode() <= 0x3f)
        ++at;
    if (at < text.size() && text[at].unicode() >= 0x40 && text[at].unicode() <= 0x7e)
        ++at;
    return at;
}

// The end of an operating system command: up to BEL or the string terminator ESC \.
qsizetype afterCommandString(const QString& text, qsizetype at)
{
    while (at < text.size()) {
        const char16_t c = text[at].unicode();
        if (c == kBel || c == 0x9c)
            return at + 1;
        if (c == kEsc && at + 1 < text.size() && text[at + 1] == QLatin1Char('\\'))
            return at + 2;
        ++at;
    }
    return at;
}

// Where the escape sequence that starts at at ends.
qsizetype afterEscape(const QString& text, qsizetype at)
{
    const char16_t c = text[at].unicode();
    if (c == kCsi)
        return afterControlSequence(text, at + 1);
    if (c == kOsc)
        return afterCommandString(text, at + 1);
    if (at + 1 >= text.size())
        return at + 1;
    const char16_t next = text[at + 1].unicode();
    if (next == u'[')
        return afterControlSequence(text, at + 2);
    if (next == u']' || next == u'P' || next == u'_' || next == u'^')
        return afterCommandString(text, at + 2);
    // A two-character sequence (ESC and one printable character).
    return next >= 0x20 && next <= 0x7e ? at + 2 : at + 1;
}
} // namespace

namespace OutsideText {
QString line(const QString& text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype at = 0; at < text.size();) {
        const char16_t c = text[at].unicode();
        if (c == kEsc || c == kCsi || c == kOsc) {
            safe += QChar::ReplacementCharacter;
            at = afterEscape(text, at);
            continue;
        }
        // A tab only moves the text on; it stays a blank.
        if (c == u'\t')
            safe += QLatin1Char(' ');
        else
            safe += isUnsafe(c) ? QChar(QChar::ReplacementCharacter) : text[at];
        ++at;
    }
    return safe;
}

QStringList lines(const QString& text)
{
    QStringList result;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0)
            end = text.size();
        const qsizetype length = end - start - (end > start && text[end - 1] == QLatin1Char('\r') ? 1 : 0);
        result << line(text.mid(start, length));
        start = next;
    }
    return result;
}

QStringList marked(const QString& mark, const QString& text)
{
    QStringList result = lines(text);
    for (QString& each : result)
        each.prepend(mark);
    return result;
}
} // namespace OutsideText
