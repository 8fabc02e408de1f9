#include "ui/CaptureCommands.h"

#include "capture/BmpWriter.h"
#include "capture/CaptureComponent.h"
#include "common/AppPaths.h"
#include "common/FileWriter.h"
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

// The component's reasons are written to follow other words; a box of their own starts upper case.
QString sentence(QString text)
{
    if (!text.isEmpty())
        text[0] = text[0].toUpper();
    return text;
}
} // namespace

CaptureCommands::CaptureCommands(CaptureComponent& capture, ProgramOptions& options, Prompter& prompter,
                                 CaptureDialogs& dialogs, QString workDir, QWidget* owner, QObject* parent)
    : QObject(parent), m_capture(capture), m_options(options), m_prompter(prompter), m_dialogs(dialogs),
      m_workDir(std::move(workDir)), m_owner(owner)
{
    connect(&m_capture, &CaptureComponent::movieFinished, this, &CaptureCommands::clearMovieStatus);
}

QString CaptureCommands::workFile(const QString& name) const
{
    return QDir(m_workDir).filePath(name);
}

bool CaptureCommands::writeBitmap(const QString& path, const CaptureStill& still, FileWriter::Links links,
                                  QString* error)
{
    if (!still.ok()) {
        *error = still.failure().sentence;
        return false;
    }
    BmpWriter encoder;
    const Result<QByteArray> bytes =
        encoder.fromBgrx(still->constBits(), still->width(), still->height(), int(still->bytesPerLine()));
    if (!bytes) {
        *error = bytes.failure().sentence;
        return false;
    }
    const Result<void> written = FileWriter().write(path, *bytes, links);
    if (!written)
        *error = written.failure().sentence;
    return written.ok();
}

bool CaptureCommands::writeWorkBitmap(const QString& name, const CaptureStill& still, QString* error)
{
    AppPaths::makePrivateFolder(m_workDir);
    return writeBitmap(workFile(name), still, FileWriter::Links::Replace, error);
}

void CaptureCommands::save_image_capture_Click()
{
    const std::optional<QString> chosen = m_dialogs.saveImagePath(m_owner);
    if (!chosen)
        return;
    const QString& path = *chosen;
    // The endings are compared exactly: ".BMP" or ".jpeg" write nothing, so no picture is needed.
    if (!path.endsWith(QStringLiteral(".bmp"), Qt::CaseSensitive) &&
        !path.endsWith(QStringLiteral(".jpg"), Qt::CaseSensitive))
        return;
    m_capture.requestStill(this, [this, path](const CaptureStill& still) { saveImage(path, still); });
}

void CaptureCommands::saveImage(const QString& path, const CaptureStill& still)
{
    QString error;
    if (path.endsWith(QStringLiteral(".bmp"), Qt::CaseSensitive)) {
        writeBitmap(path, still, FileWriter::Links::Follow, &error);
    } else {
        // Without a fresh frame an older "capture.bmp" would end up under the user's name.
        if (writeWorkBitmap(kCaptureBmp, still, &error)) {
            cDIBSection dib;
            if (const Result<void> loaded = dib.Load(workFile(kCaptureBmp)); !loaded)
                m_prompter.message(loaded.failure().sentence, Prompter::Icon::None, Prompter::Buttons::Ok);
            if (const Result<void> saved = SaveJpeg(dib, path, m_options.jpegQuality()); !saved) {
                ShowJpegError(saved.failure(), m_prompter);
                m_prompter.message(QStringLiteral("Failed to save JPEG file"), Prompter::Icon::Critical);
            }
        }
    }
    if (!error.isEmpty())
        m_prompter.message(sentence(error), Prompter::Icon::Critical);
    emit stillHandled();
}

void CaptureCommands::save_motion_image_capture_Click(int frameRate)
{
    // A movie runs until the component reports its end; a second start would only fail.
    if (m_capture.isCapturing())
        return;
    m_capture.setCaptureFrameRate(frameRate);
    const std::optional<QString> chosen = m_dialogs.saveMoviePath(m_owner);
    // A cancelled dialog still records, into the component's own default file.
    m_capture.setCaptureFile(chosen.value_or(QString()));
    m_movieStatusShown = true;
    emit movieStatus(kPressEscToStop);
    // A movie that cannot start ends the command without a message, and the panel stops asking
    // for Escape.
    if (!m_capture.CaptureMovie())
        clearMovieStatus();
}

void CaptureCommands::clearMovieStatus()
{
    if (!m_movieStatusShown)
        return;
    m_movieStatusShown = false;
    emit movieStatus(QString());
}

void CaptureCommands::mnuPrint_Click()
{
    QPrinter* printer = m_dialogs.printer();
    if (!printer) {
        m_prompter.message(kNoPrinter, Prompter::Icon::Information);
        emit stillHandled();
        return;
    }
    m_capture.requestStill(this, [this, printer](const CaptureStill& still) { printStill(*printer, still); });
}

void CaptureCommands::printStill(QPrinter& printer, const CaptureStill& still)
{
    const QString path = workFile(kPrintBmp);
    QString error;
    // After a failed save a "print.bmp" left from an earlier print is not this frame: print nothing.
    if (writeWorkBitmap(kPrintBmp, still, &error)) {
        QImageReader reader(path, "BMP");
        const QImage picture = reader.read();
        if (!picture.isNull()) {
            const QScreen* screen = m_owner ? m_owner->screen() : QGuiApplication::primaryScreen();
            const qreal dpiX = screen ? screen->logicalDotsPerInchX() : kFallbackScreenDpi;
            const qreal dpiY = screen ? screen->logicalDotsPerInchY() : kFallbackScreenDpi;
            // A printer that fails is ignored: there is nothing the user could do about it here.
            printPicture(printer, picture, dpiX, dpiY);
        }
    } else {
        m_prompter.message(QStringLiteral("Print Error: ") + error, Prompter::Icon::Information);
    }
    if (!m_options.print())
        QFile::remove(path);
    emit stillHandled();
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
