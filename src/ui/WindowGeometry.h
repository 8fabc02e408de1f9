#pragma once

#include <QSize>

class QWidget;
class Regedit;

// The main window's outer size as the store keeps it, in twips ("Width", "Height"): read at the
// load (the defaults when absent or no number, at most the screen's free area), given the window
// manager's frame once it is known, and written back at the end.
class WindowGeometry final
{
public:
    static constexpr int kDefaultWidthTwips = 7000;
    static constexpr int kDefaultHeightTwips = 6500;
    static constexpr int kTwipsPerInch = 1440;

    WindowGeometry(QWidget& window, Regedit& store);

    // Pixels for twips and back, at the screen's logical resolution.
    int pixelsX(int twips) const;
    int pixelsY(int twips) const;
    int twipsX(int pixels) const;
    int twipsY(int pixels) const;

    // Sizes the window to the stored outer size.
    void restore();
    // Once the window is on screen its frame is known: the frame gets its share of the stored
    // outer size, once, so the size does not grow from run to run. True when it did now.
    bool fitFrame();
    // Writes the outer size as "Width" and "Height".
    void store();

private:
    QWidget& m_window;
    Regedit& m_store;
    // The outer size asked for at load; applied again once the window manager's frame is known.
    QSize m_wantedOuter;
    QSize m_loadedTwips;
    bool m_frameCorrected = false;
};
