#include "UploadRig.h"

#include <QDate>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

namespace {
const QString kAccount = AccountBook::kDefaultAccount;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class UploadCycleTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.startError().toStdString(); }

    QStringList logLines() const { return rig.log.text().split(QStringLiteral("\r\n")); }

    FtpServer server;
    UploadRig rig;
};

TEST_F(UploadCycleTest, CompleteUploadWithStampAndTimeFile)
{
    rig.useServer(server, QStringLiteral("/"));
    rig.saveAccount(kAccount, QStringLiteral("Enable timestamp"), QStringLiteral("1"));
    rig.saveAccount(kAccount, QStringLiteral("TextTime"), QStringLiteral("1"));
    rig.saveAccount(kAccount, QStringLiteral("Destination filename:"), QStringLiteral("cam one"));
    rig.saveOption(QStringLiteral("TextTimeName"), QStringLiteral("time.txt"));
    rig.saveOption(QStringLiteral("Keep"), QStringLiteral("1"));
    rig.load();
    rig.status.setUploadState(QStringLiteral("Upload every 10 seconds"));

    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Delivered);

    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 11) << rig.log.text().toStdString();
    EXPECT_EQ(lines.mid(0, 2), QStringList({"", ""}));
    EXPECT_TRUE(lines[2].startsWith("---[") && lines[2].endsWith("]---"));
    EXPECT_EQ(lines.mid(3), QStringList({"Connecting...", "Connected to " + server.hostField(), "Uploading...",
                                         "Picture uploaded!", "Uploading Textfile", "Textfile uploaded",
                                         "Disconnecting...", "Disconnected"}));

    // The kept JPEG and the uploaded one are the same bytes, and the picture carries the band.
    const QByteArray sent = readFile(server.homeFile("cam one.jpg"));
    ASSERT_FALSE(sent.isEmpty());
    EXPECT_EQ(sent, readFile(rig.workFile(UploadCycle::kJpegFile)));
    QImage picture;
    ASSERT_TRUE(picture.loadFromData(sent, "JPG"));
    EXPECT_EQ(picture.width(), rig.capture->width());
    EXPECT_EQ(picture.height(), rig.capture->height() + StampComposer::kBandHeight);

    const QString timeLine = QString::fromUtf8(readFile(server.homeFile("time.txt")));
    EXPECT_TRUE(timeLine.endsWith("\r\n"));
    EXPECT_EQ(timeLine.count("\r\n"), 1);
    EXPECT_TRUE(timeLine.contains(QString::number(QDate::currentDate().year() % 100)));

    // Working files are gone but the kept picture; the status went back.
    for (const QString& name : {UploadCycle::kFrameFile, UploadCycle::kStripFile, UploadCycle::kPictureFile,
                                UploadCycle::kTimeFile})
        EXPECT_FALSE(QFile::exists(rig.workFile(name))) << name.toStdString();
    EXPECT_EQ(rig.status.uploadState(), "Upload every 10 seconds");
    EXPECT_EQ(rig.status.history.first(), "Upload every 10 seconds");
    EXPECT_TRUE(rig.status.history.contains("Uploading..."));
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}

TEST_F(UploadCycleTest, WithoutStampThePictureIsTheFrameAndNothingIsKept)
{
    rig.useServer(server);
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    QImage picture;
    ASSERT_TRUE(picture.load(server.homeFile("webcam.jpg")));
    EXPECT_EQ(picture.size(), QSize(rig.capture->width(), rig.capture->height()));
    EXPECT_FALSE(QFile::exists(rig.workFile(UploadCycle::kJpegFile)));
    EXPECT_FALSE(rig.log.text().contains("Textfile"));
}

TEST_F(UploadCycleTest, RefusedPictureStillTriesTheTimeFileAndCounts)
{
    rig.useServer(server, QStringLiteral("ro/"));
    rig.saveAccount(kAccount, QStringLiteral("TextTime"), QStringLiteral("1"));
    rig.saveOption(QStringLiteral("TextTimeName"), QStringLiteral("t.txt"));
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Failed);
    const QString log = rig.log.text();
    EXPECT_TRUE(log.contains("\r\nCouldn't upload\r\nServer: 550")) << log.toStdString();
    EXPECT_TRUE(log.contains("Uploading Textfile\r\nCouldn't upload Textfile"));
    EXPECT_TRUE(log.endsWith("Disconnected"));
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
}

TEST_F(UploadCycleTest, ConnectFailureBoxOnlyForUploadNow)
{
    rig.useServer(server);
    rig.saveAccount(kAccount, QStringLiteral("Password:"), QStringLiteral("wrong"));
    rig.load();
    const QString box = "Couldn't connect to server. Make sure you are connected and check your FTP settings, "
                        "username and password.";
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Failed);
    EXPECT_FALSE(rig.prompter.texts().contains(box));
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Failed);
    EXPECT_EQ(rig.prompter.texts().count(box), 1);
    EXPECT_TRUE(rig.log.text().contains("Couldn't connect to server\r\nServer: 530"));
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}

TEST_F(UploadCycleTest, OnlyLocallySavesWithoutConnecting)
{
    TempDir local;
    rig.useServer(server);
    rig.saveAccount(kAccount, QStringLiteral("Locally"), QStringLiteral("1"));
    rig.saveAccount(kAccount, QStringLiteral("Only Locally"), QStringLiteral("1"));
    rig.saveAccount(kAccount, QStringLiteral("LocallySource"), local.path());
    rig.saveAccount(kAccount, QStringLiteral("TextTime"), QStringLiteral("1"));
    rig.saveOption(QStringLiteral("TextTimeName"), QStringLiteral("when.txt"));
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_TRUE(rig.log.text().isEmpty());
    EXPECT_TRUE(server.commands().isEmpty()) << server.commands().join('|').toStdString();
    QImage picture;
    EXPECT_TRUE(picture.load(local.file("webcam.jpg")));
    EXPECT_TRUE(readFile(local.file("when.txt")).endsWith("\r\n"));
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
}

TEST_F(UploadCycleTest, LocalCopyBesideTheUploadAndOnlyLocallyAloneStillUploads)
{
    TempDir local;
    rig.useServer(server);
    rig.saveAccount(kAccount, QStringLiteral("Locally"), QStringLiteral("1"));
    rig.saveAccount(kAccount, QStringLiteral("LocallySource"), local.path());
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_EQ(readFile(local.file("webcam.jpg")), readFile(server.homeFile("webcam.jpg")));

    rig.saveAccount(kAccount, QStringLiteral("Locally"), QStringLiteral("0"));
    rig.saveAccount(kAccount, QStringLiteral("Only Locally"), QStringLiteral("1"));
    rig.accounts.ValdItem();
    QFile::remove(server.homeFile("webcam.jpg"));
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));
}

TEST_F(UploadCycleTest, AskCancelChangesNothing)
{
    rig.useServer(server);
    rig.saveOption(QStringLiteral("Ask"), QStringLiteral("1"));
    rig.load();
    rig.status.setUploadState(QStringLiteral("before"));
    rig.prompter.answerNext(Prompter::Answer::Cancel);
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Cancelled);
    EXPECT_EQ(rig.prompter.texts(), QStringList({"Picture will now be uploaded to '" + server.hostField() + "'"}));
    EXPECT_EQ(rig.status.history, QStringList({"before"}));
    EXPECT_EQ(rig.cycle->uploadCount(), 0);
    EXPECT_TRUE(server.commands().isEmpty());

    // Upload Now does not ask.
    rig.prompter.clear();
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_TRUE(rig.prompter.texts().isEmpty());
}

TEST_F(UploadCycleTest, DateRangeIncludesBothEndDaysForTimedUploadsOnly)
{
    const QDate today = QDate::currentDate();
    rig.useServer(server);
    rig.saveAccount(kAccount, QStringLiteral("Upload image every:"), QStringLiteral("10 seconds"));
    rig.saveAccount(kAccount, QStringLiteral("Between"), QStringLiteral("1"));
    rig.saveAccount(kAccount, QStringLiteral("DateFrom"), today.toString(Qt::ISODate));
    rig.saveAccount(kAccount, QStringLiteral("DateTo"), today.toString(Qt::ISODate));
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Delivered);

    rig.saveAccount(kAccount, QStringLiteral("DateFrom"), today.addDays(1).toString(Qt::ISODate));
    rig.saveAccount(kAccount, QStringLiteral("DateTo"), today.addDays(3).toString(Qt::ISODate));
    rig.accounts.ValdItem();
    rig.status.setUploadState(QStringLiteral("before"));
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::OutsideDateRange);
    EXPECT_EQ(rig.status.uploadState(), "before");
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
}

TEST_F(UploadCycleTest, CloseAfterEndsTheRunAtTheCount)
{
    rig.useServer(server, QStringLiteral("missing/"));
    rig.saveOption(QStringLiteral("Close"), QStringLiteral("1"));
    rig.saveOption(QStringLiteral("Close#"), QStringLiteral("2"));
    rig.load();
    int quits = 0;
    QObject::connect(rig.cycle.get(), &UploadCycle::quitRequested, [&quits] { ++quits; });
    // Failed uploads count as well.
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Failed);
    EXPECT_EQ(quits, 0);
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::ProgramEnded);
    EXPECT_EQ(quits, 1);
}

TEST_F(UploadCycleTest, CloseCountThatIsNoNumberNeverEnds)
{
    rig.useServer(server);
    rig.saveOption(QStringLiteral("Close"), QStringLiteral("1"));
    rig.saveOption(QStringLiteral("Close#"), QStringLiteral("x"));
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
}

TEST_F(UploadCycleTest, SoundAndDelayOnlyForTimedUploads)
{
    rig.useServer(server);
    rig.saveOption(QStringLiteral("Sound"), QStringLiteral("1"));
    rig.saveOption(QStringLiteral("SoundSec"), QStringLiteral("1"));
    rig.load();
    bool eventsRan = false;
    QTimer::singleShot(200, [&eventsRan] { eventsRan = true; });
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Delivered);
    EXPECT_EQ(rig.sound.beeps, 1);
    EXPECT_TRUE(eventsRan); // the wait processed events
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_EQ(rig.sound.beeps, 1);
}

TEST_F(UploadCycleTest, MotionSwitchesAnIdlePreviewOnForTheCycleOnly)
{
    rig.useServer(server);
    rig.saveOption(QStringLiteral("Motion"), QStringLiteral("1"));
    rig.load();
    rig.capture->setPreview(false);
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_FALSE(rig.capture->Preview());
    rig.capture->setPreview(true);
    EXPECT_EQ(rig.cycle->upload_now(false), UploadCycle::Outcome::Delivered);
    EXPECT_TRUE(rig.capture->Preview());
}

TEST(UploadCycleWithoutCamera, FrameFailureIsReportedAndCounted)
{
    UploadRig rig(false);
    rig.load();
    EXPECT_EQ(rig.cycle->upload_now(true), UploadCycle::Outcome::Failed);
    ASSERT_EQ(rig.prompter.texts().size(), 1);
    EXPECT_TRUE(rig.prompter.texts().first().startsWith("Failed to save picture, "));
    EXPECT_EQ(rig.cycle->uploadCount(), 1);
    EXPECT_TRUE(rig.log.text().isEmpty());
}
} // namespace
