#pragma once

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
class QWidget;

// The main window's File commands that take the current picture out of the program: Capture
// Image (bitmap or JPEG file), Capture Movie (AVI file) and Print. Working files go to workDir.
class CaptureCommands final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CaptureCommands)

public:
    static inline const QString kCaptureBmp = QStringLiteral("capture.bmp");
    static inline const QString kPrintBmp = QStringLiteral("print.bmp");
    static inline const QString kPressEscToStop = QStringLiteral("Press <Esc> to stop");

    CaptureCommands(CaptureComponent& capture, ProgramOptions& options, Prompter& prompter,
                    CaptureDialogs& dialogs, QString workDir, QWidget* owner, QObject* parent = nullptr);

    // Capture Image: saves the frame as the ".bmp" or ".jpg" file the user names; any other
    // ending writes nothing.
    void save_image_capture_Click();
    // Capture Movie at frameRate frames per second (the Movie Frame Rate slider) into the file the
    // user names; the component's PreRoll must be answered by the caller's handler.
    void save_motion_image_capture_Click(int frameRate);
    // Print: the frame on the dialogs' printer; does nothing when there is no printer.
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

private:
    CaptureComponent& m_capture;
    ProgramOptions& m_options;
    Prompter& m_prompter;
    CaptureDialogs& m_dialogs;
    QString m_workDir;
    QPointer<QWidget> m_owner;
};
