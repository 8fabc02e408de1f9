#include "upload/UploadCycle.h"

#include "capture/CaptureComponent.h"
#include "capture/CaptureError.h"
#include "common/DateTimeText.h"
#include "common/Prompter.h"
#include "common/SoundOutput.h"
#include "imaging/StampComposer.h"
#include "imaging/cDIBSection.h"
#include "options/ProgramOptions.h"
#include "settings/AccountBook.h"
#include "upload/FtpJob.h"
#include "upload/FtpStage.h"
#include "upload/JpegWriter.h"
#include "upload/UploadStatus.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>

namespace {
constexpr int kMaxSoundDelaySeconds = 10;

// A step between taking the frame and the cleanup failed; the cycle goes to its end steps.
struct CycleFailure
{
    QString message; // shown to the user when not empty
};

QFont stampFont(const Account& account)
{
    QFont font(account.fontName);
    if (account.fontSize > 0)
        font.setPointSizeF(account.fontSize);
    font.setBold(account.fontBold);
    font.setItalic(account.fontItalic);
    return font;
}
} // namespace

UploadCycle::UploadCycle(const Dependencies& dependencies, QObject* parent)
    : QObject(parent), m_deps(dependencies)
{
    QDir().mkpath(m_deps.workDir);
    // Bitmaps that earlier versions left between cycles are removed once, not on every cycle.
    for (const QString& name : {kFrameFile, kStripFile, kPictureFile})
        removeWorkFile(name);
}

QString UploadCycle::workFile(const QString& name) const
{
    return m_deps.workDir + QLatin1Char('/') + name;
}

void UploadCycle::removeWorkFile(const QString& name) const
{
    QFile::remove(workFile(name));
}

void UploadCycle::waitSeconds(int seconds)
{
    if (seconds <= 0)
        return;
    // QTimer runs on the monotonic clock, so the wait lasts as long across midnight or a clock
    // change; the event loop keeps the windows alive meanwhile.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

bool UploadCycle::copyReplacing(const QString& from, const QString& to) const
{
    // Write the copy beside the target and move it over, so a web server that serves the local
    // folder never sees half a picture.
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly))
        return false;
    const QByteArray data = source.readAll();
    if (target.write(data) != data.size()) {
        target.cancelWriting();
        return false;
    }
    return target.commit();
}

UploadCycle::Outcome UploadCycle::upload_now(bool scheduled)
{
    // The account as it is now: a tick or a click while this cycle waits may load another one.
    const Account account = m_deps.accounts.loaded();
    ProgramOptions& options = m_deps.options;

    if (scheduled && options.ask()) {
        const auto answer = m_deps.prompter.message(QStringLiteral("Picture will now be uploaded to '") +
                                                        account.host + QLatin1Char('\''),
                                                    Prompter::Icon::Question, Prompter::Buttons::OkCancel);
        if (answer != Prompter::Answer::Ok)
            return Outcome::Cancelled;
    }

    const QString savedStatus = m_deps.status.uploadState();
    m_deps.status.setUploadState(QStringLiteral("Uploading..."));
    const QDateTime start = QDateTime::currentDateTime();

    if (scheduled && account.between) {
        const QDate today = QDate::currentDate();
        if (today < account.dateFrom || today > account.dateTo) {
            m_deps.status.setUploadState(savedStatus);
            return Outcome::OutsideDateRange;
        }
    }

    // Only a preview that this cycle switched on is switched off again afterwards; one the user
    // keeps running stays on.
    bool switchedPreviewOn = false;
    if (options.motion() && m_deps.capture && !m_deps.capture->Preview()) {
        m_deps.capture->setPreview(true);
        switchedPreviewOn = true;
    }

    if (scheduled && options.sound()) {
        if (options.soundSrc().isEmpty())
            m_deps.sound.beep();
        else
            m_deps.sound.playFile(options.soundSrc());
        bool isNumber = false;
        const int delay = options.soundSec().trimmed().toInt(&isNumber);
        if (isNumber)
            waitSeconds(std::clamp(delay, 0, kMaxSoundDelaySeconds));
    }

    Outcome outcome = Outcome::Failed;
    QString failureMessage;
    try {
        if (!m_deps.capture)
            throw CaptureError(CaptureError::kSaveFrameFailed, QStringLiteral("no video capture device"));
        // The frame, the stamped picture and the pixel buffer stay in memory: only the JPEG and the
        // time file, which leave the program, are written to the working folder.
        QImage frame;
        try {
            frame = m_deps.capture->GrabFrame();
        } catch (const CaptureError& error) {
            // Every frame that cannot be taken is reported, whatever the component's number.
            throw CaptureError(CaptureError::kSaveFrameFailed, error.description());
        }

        const QImage picture =
            account.timestamp
                ? StampComposer::compose(
                      frame, generalDateTimeText(start),
                      StampComposer::Style{stampFont(account), account.backQColor(), account.foreQColor()})
                : frame;
        cDIBSection dib;
        if (!dib.fromImage32(picture))
            throw CycleFailure{};
        if (!SaveJpeg(dib, workFile(kJpegFile), options.jpegQuality(), m_deps.prompter))
            m_deps.prompter.message(QStringLiteral("Failed to save JPEG file"), Prompter::Icon::Critical);

        if (account.textTime) {
            QSaveFile timeFile(workFile(kTimeFile));
            if (timeFile.open(QIODevice::WriteOnly)) {
                timeFile.write((generalDateTimeText(start) + QStringLiteral("\r\n")).toUtf8());
                timeFile.commit();
            }
        }

        bool savedLocally = false;
        // Without a local folder nothing is copied: an empty folder would put the files into the
        // file system's root.
        if (account.locally && !account.localFolder.isEmpty()) {
            const QString folder = account.localFolder + QLatin1Char('/');
            savedLocally =
                copyReplacing(workFile(kJpegFile), folder + account.fileName + QStringLiteral(".jpg"));
            if (!options.textTimeName().isEmpty())
                copyReplacing(workFile(kTimeFile), folder + options.textTimeName());
        }

        if (account.locally && account.onlyLocally) {
            outcome = savedLocally ? Outcome::Delivered : Outcome::Failed;
        } else {
            FtpJob job;
            job.host = account.host;
            job.user = account.user;
            job.password = account.password;
            job.remotePicturePath =
                FtpJob::remotePath(account.folder, account.fileName + QStringLiteral(".jpg"));
            job.remoteTimePath = FtpJob::remotePath(account.folder, options.textTimeName());
            job.localPicturePath = workFile(kJpegFile);
            job.localTimePath = workFile(kTimeFile);
            job.textFile = account.textTime;
            job.successMessage = options.suc();
            job.scheduled = scheduled;
            job.connection = FtpJob::connectionOf(account);
            job.safeReplace = account.safeReplace;
            const FtpResult result = m_deps.ftp.run(job);
            outcome = result.pictureUploaded ? Outcome::Delivered : Outcome::Failed;
        }

        removeWorkFile(kTimeFile);
        if (!options.keep())
            removeWorkFile(kJpegFile);
    } catch (const CaptureError& error) {
        failureMessage = QStringLiteral("Failed to save picture, ") + error.description();
    } catch (const CycleFailure& failure) {
        failureMessage = failure.message;
    }

    if (!failureMessage.isEmpty())
        m_deps.prompter.message(failureMessage, Prompter::Icon::Critical);
    if (switchedPreviewOn && m_deps.capture)
        m_deps.capture->setPreview(false);
    ++m_uploadCount;

    bool isNumber = false;
    const qint64 closeAfter = options.closeCount().trimmed().toLongLong(&isNumber);
    if (options.close() && isNumber && closeAfter > 0 && m_uploadCount >= closeAfter) {
        emit quitRequested();
        return Outcome::ProgramEnded;
    }

    m_deps.status.setUploadState(savedStatus);
    return outcome;
}
