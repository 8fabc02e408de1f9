#pragma once

#include <QString>

#include <optional>

// The rules of the two number boxes of the Program configuration window, kept beside the options
// they feed so the window only applies them.
namespace OptionBoxRules {
struct QualityBox
{
    QString text;              // what the box holds afterwards
    std::optional<int> slider; // the slider's new position; absent keeps it where it is
};

// The quality box: over 100 becomes "100"; a non-number (the empty text too) or a negative number
// empties the box and leaves the slider alone; otherwise the text stays and the slider follows.
QualityBox qualityBox(const QString& text);

struct SecondsBox
{
    QString text;            // what the box holds afterwards
    std::optional<int> spin; // the spin control's new value; absent keeps it
};

constexpr int kMinSeconds = 0;
constexpr int kMaxSeconds = 10;

// The sound-delay box with its spin control: below 0 becomes "0", above 10 becomes "10", a
// non-number becomes the spin's current value, the empty text stays empty.
SecondsBox secondsBox(const QString& text, int spinValue);
} // namespace OptionBoxRules
