#pragma once

#include "capture/CaptureStill.h"
#include "common/FileWriter.h"

#include <QObject>
#include <QPointer>
#include <QString>

class CaptureComponent;
class CaptureDialogs;
class ProgramOptions;
class Prompter;
class QImage;
class QPagedPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

// The main window's File commands that take the current picture out of the program: Capture
// Image (bitmap or JPEG file), Capture Movie (AVI file) and Print. Working files go to workDir.
// None of them waits: a still is asked for and written when it arrives, a movie runs until the
// component reports its end.
class CaptureCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureCommands)

public:
    static inline const QString kCaptureBmp = QStringLiteral("capture.bmp");
    static inline const QString kPrintBmp = QStringLiteral("print.bmp");
    static inline const QString kPressEscToStop = QStringLiteral("Press <Esc> to stop");
    static inline const QString kNoPrinter =
        QStringLiteral("There is no printer to print on. Set up a printer, then try again.");

    CaptureCommands(CaptureComponent& capture, ProgramOptions& options, Prompter& prompter,
                    CaptureDialogs& dialogs, QString workDir, QWidget* owner, QObject* parent = nullptr);

    // Capture Image: saves a fresh frame as the ".bmp" or ".jpg" file the user names; any other
    // ending writes nothing.
    void save_image_capture_Click();
    // Capture Movie at frameRate frames per second (the Movie Frame Rate slider) into the file the
    // user names; the component's PreRoll must be answered by the caller's handler. Panel 3 asks
    // for Escape until the component reports the movie's end.
    void save_motion_image_capture_Click(int frameRate);
    // Print: a fresh frame on the dialogs' printer; without a printer the person is told so.
    void mnuPrint_Click();

    // Draws the picture at the painter's origin at the size it has on a screen of screenDpi
    // (logical dots per inch), converted to the resolution of the painter's device.
    static void printPicture(QPainter& painter, const QImage& picture, qreal screenDpiX, qreal screenDpiY);
    // One page with the picture on the device; false when the device cannot be painted on.
    static bool printPicture(QPagedPaintDevice& device, const QImage& picture, qreal screenDpiX,
                             qreal screenDpiY);

    QString workFile(const QString& name) const;

signals:
    // Status bar panel 3: "Press <Esc> to stop" while a movie records, empty afterwards.
    void movieStatus(const QString& text);
    // Capture Image or Print has done everything it does for one command.
    void stillHandled();

private:
    void saveImage(const QString& path, const CaptureStill& still);
    void printStill(QPrinter& printer, const CaptureStill& still);
    // Writes the still as a bitmap file; false after telling the reason in error.
    // A failed write leaves what was there. links: a link at a path the user chose is followed; one
    // planted in the working folder is replaced by the file, never written through.
    bool writeBitmap(const QString& path, const CaptureStill& still, FileWriter::Links links, QString* error);
    // Into the working folder, which is made again when it was removed.
    bool writeWorkBitmap(const QString& name, const CaptureStill& still, QString* error);
    void clearMovieStatus();

    CaptureComponent& m_capture;
    ProgramOptions& m_options;
    Prompter& m_prompter;
    CaptureDialogs& m_dialogs;
    QString m_workDir;
    QPointer<QWidget> m_owner;
    bool m_movieStatusShown = false;
};
