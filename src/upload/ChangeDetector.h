#pragma once

#include <QImage>
#include <QtGlobal>

#include <array>

// Whether a picture changed since the one last uploaded, judged on a small grey copy: the picture
// is cut into kColumns x kRows cells, each cell's mean brightness is kept (0-255), and the share
// of cells whose brightness moved by more than kCellTolerance is the change in percent. Averaging
// over a cell takes out the sensor's noise and the JPEG artefacts of a camera that compresses;
// the tolerance takes out a slow drift of the light. A stamp is no part of it: the frame is
// compared before the time is written on it.
class ChangeDetector final
{
public:
    static constexpr int kColumns = 64;
    static constexpr int kRows = 48;
    static constexpr int kCellTolerance = 10; // of 255 brightness steps

    using Thumbnail = std::array<quint8, kColumns * kRows>;

    // The grey copy of a frame; a null frame gives an all-black copy.
    static Thumbnail thumbnail(const QImage& frame);
    // The share of cells that changed, from 0 to 100.
    static double changedPercent(const Thumbnail& before, const Thumbnail& after);
    // Whether a picture whose change is changedPercent counts as unchanged for a threshold in
    // percent: below the threshold it does; a threshold of 0 lets every picture through.
    static bool isUnchanged(double changed, int thresholdPercent) { return changed < thresholdPercent; }
};
