#include "StageFixture.h"
#include "UploadRig.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTimer>

#include <optional>

#include <gtest/gtest.h>

namespace {
using Outcome = UploadCycle::Outcome;

class UploadCycleTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        rig.useServer(server);
    }
    void set(const QString& name, const QString& value)
    {
        rig.saveAccount(AccountBook::kDefaultAccount, name, value);
    }

    FtpServer server;
    UploadRig rig;
    const QString connectFailureBox =
        "Couldn't connect to server. Make sure you are connected and check your "
        "FTP settings, username and password.";
};

TEST_F(UploadCycleTest, CompleteUploadWithStampAndTimeFile)
{
    set("Initial Remote Site Folder:", "/");
    set("Enable timestamp", "1");
    set("TextTime", "1");
    set("Destination filename:", "cam one");
    rig.saveOption("TextTimeName", "time.txt");
    rig.saveOption("Keep", "1");
    rig.load();
    rig.status.setUploadState("Upload every 10 seconds");

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);

    EXPECT_TRUE(rig.log.text().startsWith("\r\n\r\n---["));
    EXPECT_EQ(lastEntry(rig.log), connectedEntry(server.hostField()));

    // The kept JPEG and the uploaded one are the same bytes, and the picture carries the band.
    const QByteArray sent = readFile(server.homeFile("cam one.jpg"));
    EXPECT_EQ(sent, readFile(rig.workFile(UploadCycle::kJpegFile)));
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(sent, "JPG"));
    EXPECT_EQ(picture.size(),
              QSize(rig.capture->width(), rig.capture->height() + StampComposer::kBandHeight));

    const QString timeLine = QString::fromUtf8(readFile(server.homeFile("time.txt")));
    EXPECT_TRUE(timeLine.endsWith("\r\n"));
    EXPECT_EQ(timeLine.count("\r\n"), 1);
    EXPECT_TRUE(timeLine.contains(QString::number(QDate::currentDate().year() % 100)));

    // Working files are gone but the kept picture; the status went back.
    for (const QString& name : {UploadCycle::kFrameFile, UploadCycle::kStripFile, UploadCycle::kPictureFile,
                                UploadCycle::kTimeFile})
        EXPECT_FALSE(QFile::exists(rig.workFile(name))) << name.toStdString();
    EXPECT_EQ(rig.status.history.first(), "Upload every 10 seconds");
    EXPECT_TRUE(rig.status.history.contains("Uploading..."));
    EXPECT_EQ(rig.status.uploadState(), "Upload every 10 seconds");
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}

TEST_F(UploadCycleTest, LocalCopyAndOnlyLocally)
{
    TempDir local;
    set("Locally", "1");
    set("LocallySource", local.path());
    rig.saveOption("TextTimeName", "when.txt");
    rig.load();
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered);
    QImage picture;
    ASSERT_TRUE(picture.load(server.homeFile("webcam.jpg")));
    EXPECT_EQ(picture.size(), QSize(rig.capture->width(), rig.capture->height())) << "no stamp band";
    EXPECT_EQ(readFile(local.file("webcam.jpg")), readFile(server.homeFile("webcam.jpg")));
    EXPECT_FALSE(QFile::exists(rig.workFile(UploadCycle::kJpegFile))) << "not kept";
    EXPECT_FALSE(rig.log.text().contains("Textfile"));

    // With Locally, Only Locally makes no connection at all.
    set("Only Locally", "1");
    set("TextTime", "1");
    rig.accounts.ValdItem();
    QFile::remove(local.file("webcam.jpg"));
    const QString log = rig.log.text();
    const QStringList commands = server.commands();
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered);
    EXPECT_EQ(rig.log.text(), log);
    EXPECT_EQ(server.commands(), commands);
    EXPECT_FALSE(QImage(local.file("webcam.jpg")).isNull());
    EXPECT_TRUE(readFile(local.file("when.txt")).endsWith("\r\n"));
    EXPECT_EQ(rig.cycle->uploadCount(), 2);

    // Only Locally alone still uploads.
    set("Locally", "0");
    rig.accounts.ValdItem();
    QFile::remove(server.homeFile("webcam.jpg"));
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered);
    EXPECT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));

    // Saving locally without a folder copies nothing (the files would land in the file system's
    // root) and delivers nothing.
    set("Locally", "1");
    set("LocallySource", "");
    rig.accounts.ValdItem();
    const bool rootHadFiles = QFile::exists("/webcam.jpg") || QFile::exists("/when.txt");
    EXPECT_EQ(rig.runCycle(false), Outcome::Failed);
    EXPECT_EQ(QFile::exists("/webcam.jpg") || QFile::exists("/when.txt"), rootHadFiles);
}

TEST_F(UploadCycleTest, FailedUploadsCountAndOnlyUploadNowShowsTheConnectBox)
{
    set("Initial Remote Site Folder:", "ro/");
    set("TextTime", "1");
    rig.saveOption("TextTimeName", "t.txt");
    rig.load();
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed);
    const QString refused = "Server: 550 Not enough privileges.";
    EXPECT_EQ(lastEntry(rig.log),
              connectedEntry(server.hostField(), {"Couldn't upload", refused},
                             {"Uploading Textfile", "Couldn't upload Textfile", refused}));

    set("Password:", "wrong");
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(true), Outcome::NotConnected);
    EXPECT_TRUE(rig.prompter.texts().isEmpty());
    EXPECT_EQ(rig.runCycle(false), Outcome::NotConnected);
    EXPECT_EQ(rig.prompter.texts(), QStringList{connectFailureBox});
    EXPECT_EQ(lastEntry(rig.log), connectFailureEntry({"Server: 530 Authentication failed."}));
    EXPECT_EQ(rig.cycle->uploadCount(), 3);
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}

TEST_F(UploadCycleTest, AskCancelChangesNothingAndUploadNowDoesNotAsk)
{
    rig.saveOption("Ask", "1");
    rig.load();
    rig.status.setUploadState("before");
    rig.prompter.answerNext(Prompter::Answer::Cancel);
    EXPECT_EQ(rig.runCycle(true), Outcome::Cancelled);
    EXPECT_EQ(rig.prompter.texts(),
              QStringList({"Picture will now be uploaded to '" + server.hostField() + "'"}));
    EXPECT_EQ(rig.status.history, QStringList({"before"}));
    EXPECT_EQ(rig.cycle->uploadCount(), 0);
    EXPECT_TRUE(server.commands().isEmpty());

    rig.prompter.clear();
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered);
    EXPECT_TRUE(rig.prompter.texts().isEmpty());
}

TEST_F(UploadCycleTest, DateRangeIncludesBothEndDaysForTimedUploadsOnly)
{
    const QDate today = QDate::currentDate();
    set("Upload image every:", "10 seconds");
    set("Between", "1");
    set("DateFrom", today.toString(Qt::ISODate));
    set("DateTo", today.toString(Qt::ISODate));
    rig.load();
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);

    set("DateFrom", today.addDays(1).toString(Qt::ISODate));
    set("DateTo", today.addDays(3).toString(Qt::ISODate));
    rig.accounts.ValdItem();
    rig.status.setUploadState("before");
    EXPECT_EQ(rig.runCycle(true), Outcome::OutsideDateRange);
    EXPECT_EQ(rig.status.uploadState(), "before");
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered);
}

TEST_F(UploadCycleTest, CloseAfterEndsTheRunAtTheCountFailuresIncluded)
{
    set("Initial Remote Site Folder:", "missing/");
    rig.saveOption("Close", "1");
    rig.saveOption("Close#", "x");
    rig.load();
    int quits = 0;
    QObject::connect(rig.cycle.get(), &UploadCycle::quitRequested, rig.cycle.get(), [&quits] { ++quits; });
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed);
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed) << "a count that is no number never ends";
    rig.options.setCloseCount("4");
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(rig.runCycle(true), Outcome::ProgramEnded);
    EXPECT_EQ(quits, 1);
}

TEST_F(UploadCycleTest, SoundAndDelayForTimedUploadsAndMotionPreviewForTheCycleOnly)
{
    rig.saveOption("Sound", "1");
    rig.saveOption("SoundSec", "1");
    rig.saveOption("Motion", "1");
    rig.load();
    bool eventsRan = false;
    QTimer::singleShot(200, rig.cycle.get(), [&eventsRan] { eventsRan = true; });
    for (const bool preview : {false, true}) {
        rig.capture->setPreview(preview);
        EXPECT_EQ(rig.runCycle(!preview), Outcome::Delivered);
        EXPECT_EQ(rig.capture->Preview(), preview);
        EXPECT_EQ(rig.sound.beeps, 1) << "a beep for the timed upload only";
    }
    EXPECT_TRUE(eventsRan) << "the wait serves events";
}

// stop() ends a cycle wherever it waits: in the delay after the sound, for the still, or in the
// transfer to a server that went silent. Nothing is counted, the status and the preview go back.
TEST(UploadCycleStop, EndsTheDelayTheStillAndTheTransfer)
{
    const struct
    {
        const char* where;
        bool sound;
        FtpServer::Options server;
    } cases[] = {
        {"delay", true, {}},
        {"still", false, {}}, // stopped before the capture component answers
        {"transfer", false, {.stallAt = "STOR"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        FtpServer server;
        ASSERT_TRUE(server.start(c.server));
        UploadRig rig;
        rig.useServer(server);
        rig.saveOption("Sound", c.sound ? "1" : "0");
        rig.saveOption("SoundSec", "5");
        rig.saveOption("Motion", "1");
        rig.load();
        rig.fake->setPreview(false);
        rig.status.setUploadState("before");
        std::optional<UploadCycle::Result> result;
        QObject::connect(rig.cycle.get(), &UploadCycle::finished, rig.cycle.get(),
                         [&result](const UploadCycle::Result& r) { result = r; });
        ASSERT_TRUE(rig.cycle->upload_now(true));
        EXPECT_FALSE(rig.cycle->upload_now(true)) << "one cycle at a time";
        if (c.server.stallAt == "STOR") {
            ASSERT_TRUE(
                QTest::qWaitFor([&server] { return server.commands().join(' ').contains("STOR"); }, 5000));
        }
        QElapsedTimer clock;
        clock.start();
        rig.cycle->stop();
        ASSERT_TRUE(QTest::qWaitFor([&result] { return result.has_value(); }, 3000));
        EXPECT_LT(clock.elapsed(), 1000);
        EXPECT_EQ(result->outcome, Outcome::Stopped);
        EXPECT_EQ(rig.cycle->uploadCount(), 0);
        EXPECT_EQ(rig.status.uploadState(), "before");
        EXPECT_FALSE(rig.fake->Preview());
        EXPECT_FALSE(rig.cycle->isRunning());
        QTest::qWait(100); // a still that arrives late is not this cycle's any more
        EXPECT_FALSE(QFile::exists(server.homeFile("webcam.jpg")));
        EXPECT_FALSE(QFile::exists(rig.workFile(UploadCycle::kJpegFile)));
    }
}

TEST(UploadCycleWithoutCamera, FrameFailureIsReportedAndCounted)
{
    UploadRig rig(UploadRig::Camera::None);
    rig.load();
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed);
    ASSERT_EQ(rig.prompter.texts().size(), 1);
    EXPECT_TRUE(rig.prompter.texts().first().startsWith("Failed to save picture, "));
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
    EXPECT_TRUE(rig.log.text().isEmpty());
}
} // namespace
