#include "ui/CaptureCommands.h"

#include "capture/CaptureComponent.h"
#include "capture/CaptureError.h"
#include "common/Prompter.h"
#include "imaging/cDIBSection.h"
#include "options/ProgramOptions.h"
#include "ui/CaptureDialogs.h"
#include "upload/JpegWriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QWidget>

#include <optional>

namespace {
// What a display shows when no screen can be asked.
constexpr qreal kFallbackScreenDpi = 96.0;
} // namespace

CaptureCommands::CaptureCommands(CaptureComponent& capture, ProgramOptions& options, Prompter& prompter,
                                 CaptureDialogs& dialogs, QString workDir, QWidget* owner, QObject* parent)
    : QObject(parent), m_capture(capture), m_options(options), m_prompter(prompter), m_dialogs(dialogs),
      m_workDir(std::move(workDir)), m_owner(owner)
{
}

QString CaptureCommands::workFile(const QString& name) const
{
    return QDir(m_workDir).filePath(name);
}

void CaptureCommands::save_image_capture_Click()
{
    const std::optional<QString> chosen = m_dialogs.saveImagePath(m_owner);
    if (!chosen)
        return;
    const QString& path = *chosen;

    std::optional<CaptureError> lastError;
    const auto saveFrame = [&](const QString& target) {
        try {
            m_capture.SaveFrame(target);
            return true;
        } catch (const CaptureError& error) {
            lastError = error;
            return false;
        }
    };

    // The endings are compared exactly: ".BMP" or ".jpeg" write nothing.
    if (path.endsWith(QStringLiteral(".bmp"), Qt::CaseSensitive)) {
        saveFrame(path);
    } else if (path.endsWith(QStringLiteral(".jpg"), Qt::CaseSensitive)) {
        const QString bitmap = workFile(kCaptureBmp);
        // Without a fresh frame an older "capture.bmp" would end up under the user's name.
        if (saveFrame(bitmap)) {
            cDIBSection dib;
            dib.Load(bitmap, m_prompter);
            if (!SaveJpeg(dib, path, m_options.jpegQuality(), m_prompter))
                m_prompter.message(QStringLiteral("Failed to save JPEG file"), Prompter::Icon::Critical);
        }
    }

    if (lastError)
        m_prompter.message(lastError->description(), Prompter::Icon::Critical);
}

void CaptureCommands::save_motion_image_capture_Click(int frameRate)
{
    // The command holds the window while it records; a second start would only fail.
    if (m_capture.isCapturing())
        return;
    bool statusShown = false;
    try {
        m_capture.setCaptureFrameRate(frameRate);
        const std::optional<QString> chosen = m_dialogs.saveMoviePath(m_owner);
        // A cancelled dialog still records, into the component's own default file.
        m_capture.setCaptureFile(chosen.value_or(QString()));
        emit movieStatus(kPressEscToStop);
        statusShown = true;
        m_capture.CaptureMovie();
    } catch (const CaptureError&) {
        // A failed movie ends the command without a message; the component reports its own errors.
    }
    // Also after a failure, so the panel never keeps asking for Escape.
    if (statusShown)
        emit movieStatus(QString());
}

void CaptureCommands::mnuPrint_Click()
{
    QPrinter* printer = m_dialogs.printer();
    if (!printer)
        return;

    const QString path = workFile(kPrintBmp);
    bool saved = false;
    try {
        m_capture.SaveFrame(path);
        saved = true;
    } catch (const CaptureError& error) {
        m_prompter.message(QStringLiteral("Print Error: ") + error.description(),
                           Prompter::Icon::Information);
    }

    // After a failed save a "print.bmp" left from an earlier print is not this frame: print nothing.
    if (saved) {
        QImageReader reader(path, "BMP");
        const QImage picture = reader.read();
        if (!picture.isNull()) {
            const QScreen* screen = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen();
            const qreal dpiX = screen ? screen->logicalDotsPerInchX() : kFallbackScreenDpi;
            const qreal dpiY = screen ? screen->logicalDotsPerInchY() : kFallbackScreenDpi;
            // A printer that fails is ignored: there is nothing the user could do about it here.
            printPicture(*printer, picture, dpiX, dpiY);
        }
    }

    if (!m_options.print())
        QFile::remove(path);
}

void CaptureCommands::printPicture(QPainter& painter, const QImage& picture, qreal screenDpiX,
                                   qreal screenDpiY)
{
    const QPaintDevice* device = painter.device();
    const qreal width = picture.width() * device->logicalDpiX() / screenDpiX;
    const qreal height = picture.height() * device->logicalDpiY() / screenDpiY;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, width, height), picture);
    painter.restore();
}

bool CaptureCommands::printPicture(QPagedPaintDevice& device, const QImage& picture, qreal screenDpiX,
                                   qreal screenDpiY)
{
    QPainter painter;
    if (!painter.begin(&device))
        return false;
    printPicture(painter, picture, screenDpiX, screenDpiY);
    // Ending the painter ends the document and sends the page.
    return painter.end();
}
