#include "ui/WindowGeometry.h"

#include "options/ProgramOptions.h"
#include "settings/Regedit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <optional>

namespace {
const QString kWidth = QStringLiteral("Width");
const QString kHeight = QStringLiteral("Height");

// A stored size: a positive whole number, or absent.
std::optional<int> storedTwips(const std::optional<QString>& text)
{
    bool isNumber = false;
    const int value = text.value_or(QString()).trimmed().toInt(&isNumber);
    if (!isNumber || value <= 0)
        return std::nullopt;
    return value;
}
} // namespace

WindowGeometry::WindowGeometry(QWidget& window, Regedit& store) : m_window(window), m_store(store) {}

int WindowGeometry::pixelsX(int twips) const
{
    return int(std::lround(double(twips) * m_window.logicalDpiX() / kTwipsPerInch));
}

int WindowGeometry::pixelsY(int twips) const
{
    return int(std::lround(double(twips) * m_window.logicalDpiY() / kTwipsPerInch));
}

int WindowGeometry::twipsX(int pixels) const
{
    return int(std::lround(double(pixels) * kTwipsPerInch / m_window.logicalDpiX()));
}

int WindowGeometry::twipsY(int pixels) const
{
    return int(std::lround(double(pixels) * kTwipsPerInch / m_window.logicalDpiY()));
}

void WindowGeometry::restore()
{
    const int width = storedTwips(m_store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kWidth))
                          .value_or(kDefaultWidthTwips);
    const int height =
        storedTwips(m_store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kHeight))
            .value_or(kDefaultHeightTwips);
    m_loadedTwips = QSize(width, height);
    m_wantedOuter = QSize(pixelsX(width), pixelsY(height));
    // A size stored on a larger screen would put the title bar out of reach: at most the screen's
    // free area. The stored value itself is kept unless the user resizes the window.
    if (const QScreen* screen = m_window.screen() ? m_window.screen() : QGuiApplication::primaryScreen())
        m_wantedOuter = m_wantedOuter.boundedTo(screen->availableGeometry().size());
    const QSize frame = m_window.frameGeometry().size() - m_window.geometry().size();
    m_window.resize(m_wantedOuter - frame);
}

bool WindowGeometry::fitFrame()
{
    if (m_frameCorrected || !m_window.isVisible())
        return false;
    const QSize frame = m_window.frameGeometry().size() - m_window.geometry().size();
    if (frame.isEmpty())
        return false;
    m_frameCorrected = true;
    m_window.resize(m_wantedOuter - frame);
    return true;
}

void WindowGeometry::store()
{
    const QSize outer = m_window.frameGeometry().size();
    // Unchanged since the load: keep the stored twips, which pixels cannot always give back.
    const QSize twips =
        outer == m_wantedOuter ? m_loadedTwips : QSize(twipsX(outer.width()), twipsY(outer.height()));
    m_store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kHeight,
                       QString::number(twips.height()));
    m_store.SaveString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, kWidth,
                       QString::number(twips.width()));
}
