#pragma once

#include <QString>

#include <optional>

// The upload intervals an account can choose, in the order the interval list offers them. Each item
// carries its interval in milliseconds or one of two markers.
class IntervalTable final
{
public:
    struct Item
    {
        QString text;
        int data; // milliseconds, or kCustomMarker / kNeverMarker
    };

    static constexpr int kCustomMarker = -6; // seconds typed by the user
    static constexpr int kNeverMarker = -3;  // no timed upload
    static constexpr int kCustom = 0;        // positions of the marker items
    static constexpr int kNever = 1;
    static constexpr int kConstantly = 2;
    static constexpr int kCount = 23;
    static constexpr qint64 kMaxSeconds = 2147483; // the scheduler's milliseconds must fit an int

    static int count() { return kCount; }
    // The item at a position from 0; positions outside the table are a programming error (callers
    // check isValidPosition first).
    static const Item& item(int position);
    static bool isValidPosition(int position) { return position >= 0 && position < kCount; }
    // The position of an item text; an exact match first, then one without regard to case.
    static std::optional<int> positionOf(const QString& text);
    // The seconds text a preset item puts into the seconds field: "" for "Never", absent for "Custom".
    static std::optional<QString> presetSecondsText(int position);
    // Whether a number of seconds is one of the presets (0, 10, 20, ... 604800).
    static bool isPresetSeconds(qint64 seconds);
    // Same for a seconds text; the empty text and non-numbers are no preset.
    static bool isPresetSecondsText(const QString& text);

    // The seconds field's rule: the whole-number part of the typed number, "0" for a text that is
    // no number or a negative number, at most kMaxSeconds; the empty text stays empty.
    static QString secondsText(const QString& typed);
    // The seconds of a stored "Custom" interval: as the field's rule, except that a text that is
    // no number reads as empty (no timed upload) rather than "0" ("Constantly").
    static QString storedSecondsText(const QString& stored);
};
