#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

// The time stamp of an uploaded picture: the frame with a band below it in the stamp's
// background colour, and the text written at the band's top-left in the stamp's font and text
// colour, cut at the frame's right edge.
//
// Sizes follow the program's twip layout at 15 twips per pixel: the band is 350 twips (23 px),
// the strip that carries the text 8655 x 345 twips (577 x 23 px) and is drawn 325 twips (22 px)
// high, so the band's last row always shows the background colour.
class StampComposer final
{
public:
    static constexpr int kBandHeight = 23;
    static constexpr int kStripWidth = 577;
    static constexpr int kStripHeight = 23;
    static constexpr int kStripDrawnHeight = 22;

    struct Style
    {
        QFont font;
        QColor background = Qt::black;
        QColor text = Qt::white;
    };

    // The strip alone: the text at its top-left on the background colour.
    static QImage strip(const QString& text, const Style& style);

    // The finished picture: frame width x (frame height + band).
    static QImage compose(const QImage& frame, const QString& text, const Style& style);
};
