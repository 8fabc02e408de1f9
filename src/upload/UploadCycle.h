#pragma once

#include "settings/Account.h"

#include <QObject>
#include <QString>

class AccountBook;
class CaptureComponent;
class FtpStage;
class ProgramOptions;
class Prompter;
class SoundOutput;
class UploadStatus;

// One upload for the loaded account: question, sound and delay, the frame, the time stamp band,
// the JPEG, the time text file, the local copy, the FTP stage, the cleanup, the count and the
// close-after option. Runs on the UI thread; the FTP transfer itself runs on a worker while
// events are processed, so the window stays responsive.
class UploadCycle final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UploadCycle)

public:
    // Working files in the working folder: the JPEG and the time file. The frame, strip and
    // picture bitmaps of earlier versions are no longer written and are removed at start.
    static inline const QString kFrameFile = QStringLiteral("ic.bmp");
    static inline const QString kStripFile = QStringLiteral("pu.bmp");
    static inline const QString kPictureFile = QStringLiteral("pic.bmp");
    static inline const QString kJpegFile = QStringLiteral("webcam.jpg");
    static inline const QString kTimeFile = QStringLiteral("time.txt");

    struct Dependencies
    {
        AccountBook& accounts;
        ProgramOptions& options;
        CaptureComponent* capture; // null when the program has no capture component
        FtpStage& ftp;
        Prompter& prompter;
        UploadStatus& status;
        SoundOutput& sound;
        QString workDir;
    };

    enum class Outcome {
        Cancelled, // the question was answered with Cancel
        OutsideDateRange,
        Failed,      // a step failed: nothing (or not everything) was delivered
        Delivered,   // uploaded, or saved locally where the account asks only for that
        ProgramEnded // the close-after option ended the program
    };

    explicit UploadCycle(const Dependencies& dependencies, QObject* parent = nullptr);

    Outcome upload_now(bool scheduled);

    // Cycles that reached the end steps since start. Wider than the program ever needed, so it
    // never wraps in a program that runs for months.
    qint64 uploadCount() const { return m_uploadCount; }

signals:
    // The close-after option asks the program to end now, without its closing steps.
    void quitRequested();

private:
    QString workFile(const QString& name) const;
    void waitSeconds(int seconds);
    bool copyReplacing(const QString& from, const QString& to) const;
    void removeWorkFile(const QString& name) const;

    Dependencies m_deps;
    qint64 m_uploadCount = 0;
};
