#include "EnvScope.h"
#include "FailDevice.h"
#include "SetClock.h"
#include "StageFixture.h"
#include "UploadRig.h"
#include "upload/ArchiveName.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTimer>

#include <cerrno>
#include <cstring>
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
    EXPECT_EQ(lastEntry(rig.log), QStringList{"Not saved locally: no local folder is set"});

    // A folder that is not there: the log says why nothing was saved.
    set("LocallySource", local.file("missing"));
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(false), Outcome::Failed);
    EXPECT_EQ(lastEntry(rig.log),
              QStringList({"Couldn't save the local copy " + local.file("missing/webcam.jpg") + ": " +
                               QString::fromLocal8Bit(std::strerror(ENOENT)),
                           "Couldn't save the local copy " + local.file("missing/when.txt") + ": " +
                               QString::fromLocal8Bit(std::strerror(ENOENT))}));
}

// Links planted in the local folder under the names of the local copy, the time file and the next
// archive copy are replaced by the files; what they point at stays as it was.
TEST_F(UploadCycleTest, LocalCopiesReplaceAPlantedLinkAndNeverWriteThroughIt)
{
    TempDir local;
    TempDir elsewhere;
    set("Locally", "1");
    set("Only Locally", "1");
    set("TextTime", "1");
    set("LocallySource", local.path());
    set("Archive locally", "1");
    rig.saveOption("TextTimeName", "time.txt");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
    rig.cycle->setClock(clock);
    const QStringList names{"webcam.jpg", "time.txt", "cam-20260510-120000.jpg"};
    for (const QString& name : names) {
        writeFile(elsewhere.file(name), "precious");
        ASSERT_TRUE(QFile::link(elsewhere.file(name), local.file(name)));
    }
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(readFile(elsewhere.file(name)), "precious");
        EXPECT_FALSE(QFileInfo(local.file(name)).isSymLink());
    }
    EXPECT_FALSE(QImage(local.file("webcam.jpg")).isNull());
    EXPECT_EQ(readFile(local.file("cam-20260510-120000.jpg")), readFile(local.file("webcam.jpg")));
    EXPECT_TRUE(readFile(local.file("time.txt")).endsWith("\r\n"));
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
    EXPECT_EQ(rig.prompter.texts(),
              QStringList{connectFailureBox + "\n\nServer: 530 Authentication failed."});
    EXPECT_EQ(lastEntry(rig.log), connectFailureEntry({"Server: 530 Authentication failed."}));
    EXPECT_EQ(rig.cycle->uploadCount(), 3);
    EXPECT_EQ(rig.ftp->hConnection, 0u);
}

// A password that was neither remembered nor typed since the start cannot log in: the cycle says
// so in one line and asks the server nothing; one typed in this run serves without being stored.
TEST_F(UploadCycleTest, WithoutAPasswordNoLoginIsTriedAndOneTypedInThisRunServes)
{
    set("Remember password", "0");
    set("Password:", "");
    rig.load();
    for (const bool scheduled : {true, false}) {
        EXPECT_EQ(rig.runCycle(scheduled), Outcome::Failed);
        EXPECT_EQ(lastEntry(rig.log), QStringList{UploadCycle::kNoPassword});
    }
    EXPECT_TRUE(server.commands().isEmpty());
    EXPECT_EQ(rig.prompter.texts(), QStringList{UploadCycle::kNoPassword}) << "only Upload Now shows a box";
    EXPECT_EQ(rig.cycle->dialAhead(rig.accounts.loaded()), nullptr) << "no login ahead either";

    rig.accounts.setPassword(FtpServer::kPassword);
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(rig.store.GetString(HKEY_LOCAL_MACHINE, UploadRig::kProductKey + "\\My Account", "Password:"),
              QString(""));
}

TEST(UploadCycleRules, APasswordIsLackingOnlyWhereALoginNeedsOne)
{
    const struct
    {
        bool remember;
        const char* password;
        const char* user;
        Account::Protocol protocol;
        const char* keyFile;
        bool lacking;
    } cases[] = {
        {false, "", "cam", Account::Protocol::Ftp, "", true},
        {false, "", "cam", Account::Protocol::Ftps, "", true},
        {false, "", "cam", Account::Protocol::Sftp, "", true},
        {false, "typed", "cam", Account::Protocol::Ftp, "", false},
        {true, "", "cam", Account::Protocol::Ftp, "", false}, // an empty password, remembered
        {false, "", "cam", Account::Protocol::Sftp, "/home/cam/.ssh/id_ed25519", false},
        {false, "", "cam", Account::Protocol::Ftp, "/home/cam/.ssh/id_ed25519", true}, // FTP uses no key
        {false, "", "Anonymous", Account::Protocol::Ftp, "", false},
        {false, "", " ftp ", Account::Protocol::Ftp, "", false},
    };
    for (const auto& c : cases) {
        Account account;
        account.rememberPassword = c.remember;
        account.password = c.password;
        account.user = c.user;
        account.protocol = c.protocol;
        account.keyFile = c.keyFile;
        EXPECT_EQ(UploadCycle::lacksPassword(account), c.lacking)
            << c.remember << " '" << c.password << "' '" << c.user << "' " << c.keyFile;
    }
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

TEST(UploadCycleWithoutCamera, FrameFailureIsLoggedAndCountedAndOnlyUploadNowShowsIt)
{
    UploadRig rig(UploadRig::Camera::None);
    rig.load();
    const QString failure = "Failed to save picture, no video capture device";
    const std::optional<UploadCycle::Result> timed = untilSignal<UploadCycle::Result>(
        rig.cycle.get(), &UploadCycle::finished, [&rig] { rig.cycle->upload_now(true); }, 5000);
    ASSERT_TRUE(timed);
    EXPECT_EQ(timed->outcome, Outcome::Failed);
    EXPECT_EQ(timed->failure, failure);
    EXPECT_TRUE(rig.prompter.texts().isEmpty()) << "a timed cycle never waits for a box";
    EXPECT_EQ(lastEntry(rig.log), QStringList{failure});
    EXPECT_EQ(rig.runCycle(false), Outcome::Failed);
    EXPECT_EQ(rig.prompter.texts(), QStringList{failure});
    EXPECT_EQ(rig.cycle->uploadCount(), 2);
}
} // namespace

namespace {
const QDateTime kMorning(QDate(2024, 12, 6), QTime(7, 15, 0));

// The mean difference of two pictures' colour channels over the rows from top on.
double meanDifference(const QImage& a, const QImage& b, int top)
{
    double sum = 0;
    int count = 0;
    for (int y = top; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum +=
                std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
            count += 3;
        }
    }
    return count ? sum / count : 1e9;
}

// Where pictures a and b differ below top: the share of those pixels in which picture is nearer to a.
double shareNearer(const QImage& picture, const QImage& a, const QImage& b, int top)
{
    const auto distance = [](const QColor& p, const QColor& q) {
        return std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
    };
    int differing = 0;
    int nearer = 0;
    for (int y = top; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QColor p = picture.pixelColor(x, y), pa = a.pixelColor(x, y), pb = b.pixelColor(x, y);
            if (distance(pa, pb) < 120)
                continue;
            ++differing;
            nearer += distance(p, pa) < distance(p, pb) ? 1 : 0;
        }
    }
    return differing ? double(nearer) / differing : 0;
}

// The clock the cycle reads gives the stamp, the time file and the log header, in the locale's
// general form; the band shows that text in the account's colours.
TEST_F(UploadCycleTest, TheClockGivesTheStampTheTimeFileAndTheLogHeader)
{
    LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    SetClock clock(kMorning);
    rig.cycle->setClock(clock);
    set("Enable timestamp", "1");
    set("TextTime", "1");
    set("Backcolor", QString::number(0 + 256 * 0 + 65536 * 160)); // dark blue
    set("Forecolor", QString::number(255 + 256 * 255));           // yellow
    rig.saveOption("TextTimeName", "time.txt");
    rig.saveOption("Image Quality (JPEG):", "100");
    rig.load();
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(readFile(server.homeFile("time.txt")), "06.12.24 07:15:00\r\n");
    EXPECT_TRUE(rig.log.text().contains("---[06.12.24 07:15:00]---\r\nConnecting..."));

    QImage sent;
    ASSERT_TRUE(sent.loadFromData(readFile(server.homeFile("webcam.jpg")), "JPG"));
    const int frameHeight = sent.height() - StampComposer::kBandHeight;
    QFont font("Tahoma");
    font.setPointSizeF(10);
    font.setBold(true);
    const StampComposer::Style style{font, QColor(0, 0, 160), QColor(255, 255, 0)};
    const QImage blank(sent.width(), frameHeight, QImage::Format_RGB32);
    const auto band = [&](const QString& text) {
        QImage frame = blank;
        frame.fill(Qt::black);
        return StampComposer::compose(frame, text, style).convertToFormat(QImage::Format_RGB32);
    };
    const QImage right = band("06.12.24 07:15:00");
    EXPECT_LT(meanDifference(sent, right, frameHeight), 12.0);
    EXPECT_GT(shareNearer(sent, right, band("07.12.24 08:16:01"), frameHeight), 0.9);
    EXPECT_GT(shareNearer(sent, right, band(""), frameHeight), 0.9);
    QImage filled = band("");
    for (int y = frameHeight; y < filled.height(); ++y)
        for (int x = 0; x < filled.width(); ++x)
            filled.setPixelColor(x, y, style.text);
    EXPECT_GT(meanDifference(sent, filled, frameHeight), 60.0);
    // The band's last row is the background colour from edge to edge.
    for (const int x : {0, sent.width() / 2, sent.width() - 1}) {
        const QColor c = sent.pixelColor(x, sent.height() - 1);
        EXPECT_LT(std::abs(c.blue() - 160) + c.red() + c.green(), 40) << x;
    }

    // Exactly midnight shows the date alone.
    clock.set(QDateTime(QDate(2024, 12, 7), QTime(0, 0)));
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(readFile(server.homeFile("time.txt")), "07.12.24\r\n");
}

// Both end days belong to the range, to their last second; the next day's first second does not.
TEST_F(UploadCycleTest, TheDateRangeFollowsTheClockAcrossMidnight)
{
    SetClock clock(QDateTime(QDate(2024, 12, 5), QTime(23, 59, 59)));
    rig.cycle->setClock(clock);
    set("Upload image every:", "10 seconds");
    set("Between", "1");
    set("DateFrom", "2024-12-06");
    set("DateTo", "2024-12-06");
    rig.load();
    EXPECT_EQ(rig.runCycle(true), Outcome::OutsideDateRange);
    clock.advanceSeconds(1);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    clock.set(QDateTime(QDate(2024, 12, 6), QTime(23, 59, 59)));
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    clock.advanceSeconds(1);
    EXPECT_EQ(rig.runCycle(true), Outcome::OutsideDateRange);
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered) << "Upload Now ignores the range";
}

// A full disk in the working folder: the JPEG and the time file are not made, nothing older is
// sent or copied in their place (also with "Keep"), the server's and the local folder's files keep
// what they had, the log says why, and the cycle delivered nothing.
TEST_F(UploadCycleTest, AFullDiskSendsAndCopiesNothingOlderAndSaysWhy)
{
    TempDir local;
    set("TextTime", "1");
    set("Locally", "1");
    set("LocallySource", local.path());
    rig.saveOption("TextTimeName", "time.txt");
    rig.saveOption("Keep", "1");
    rig.load();
    ASSERT_EQ(rig.runCycle(true), Outcome::Delivered);
    const QByteArray goodPicture = readFile(server.homeFile("webcam.jpg"));
    const QByteArray goodTime = readFile(server.homeFile("time.txt"));
    ASSERT_FALSE(goodPicture.isEmpty());
    ASSERT_EQ(readFile(local.file("time.txt")), goodTime);
    const qsizetype stores = server.commands().filter("STOR").size();

    // A timed cycle says it in the log and opens no box, which would hold up every later upload;
    // Upload Now shows the box as well.
    for (const auto& [room, scheduled] :
         {std::pair{qint64(0), true}, {qint64(10), true}, {qint64(10), false}}) {
        SCOPED_TRACE(room);
        SCOPED_TRACE(scheduled);
        rig.prompter.clear();
        rig.cycle->setFileWriter(FailDevice::writer(room));
        EXPECT_EQ(rig.runCycle(scheduled), Outcome::Failed);
        EXPECT_EQ(lastEntry(rig.log),
                  connectedEntry(server.hostField(),
                                 {"Couldn't upload", "Couldn't write webcam.jpg: No space left on device"},
                                 {"Uploading Textfile", "Couldn't upload Textfile",
                                  "Couldn't write time.txt: No space left on device"}));
        EXPECT_EQ(server.commands().filter("STOR").size(), stores);
        EXPECT_EQ(readFile(server.homeFile("webcam.jpg")), goodPicture);
        EXPECT_EQ(readFile(server.homeFile("time.txt")), goodTime);
        EXPECT_EQ(readFile(local.file("webcam.jpg")), goodPicture);
        EXPECT_EQ(readFile(local.file("time.txt")), goodTime);
        if (scheduled) {
            EXPECT_TRUE(rig.prompter.texts().isEmpty());
        } else {
            ASSERT_EQ(rig.prompter.texts().size(), 2);
            EXPECT_TRUE(rig.prompter.texts().first().startsWith("IJL ERROR: ["));
            EXPECT_EQ(rig.prompter.texts().last(), "Failed to save JPEG file");
        }
        // The kept picture of the last good cycle stays, and no half-written file lies beside it.
        EXPECT_EQ(QDir(rig.work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"webcam.jpg"});
    }

    // Saving only locally with a full disk delivers nothing either.
    set("Only Locally", "1");
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed);
    EXPECT_EQ(lastEntry(rig.log), QStringList{"Couldn't write webcam.jpg: No space left on device"});
    EXPECT_EQ(readFile(local.file("webcam.jpg")), goodPicture);
}

// Links planted at the working files are replaced, never written through; a working folder that
// was removed is made again by the next cycle.
TEST_F(UploadCycleTest, PlantedLinksAndARemovedWorkingFolder)
{
    TempDir elsewhere;
    set("TextTime", "1");
    rig.saveOption("TextTimeName", "time.txt");
    rig.load();
    for (const QString& name : {UploadCycle::kTimeFile, UploadCycle::kJpegFile}) {
        writeFile(elsewhere.file(name), "precious");
        ASSERT_TRUE(QFile::link(elsewhere.file(name), rig.workFile(name)));
    }
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    for (const QString& name : {UploadCycle::kTimeFile, UploadCycle::kJpegFile})
        EXPECT_EQ(readFile(elsewhere.file(name)), "precious") << name.toStdString();
    EXPECT_TRUE(readFile(server.homeFile("time.txt")).endsWith("\r\n"));

    ASSERT_TRUE(QDir(rig.work.path()).removeRecursively());
    QFile::remove(server.homeFile("webcam.jpg"));
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_TRUE(QFile::exists(server.homeFile("webcam.jpg")));
}

// File names with a folder in them are refused: nothing lands outside the folders the user gave,
// locally or on the server.
TEST_F(UploadCycleTest, NamesWithFoldersAreNeitherWrittenNorSent)
{
    TempDir base;
    const QString localFolder = base.file("local");
    ASSERT_TRUE(QDir().mkpath(localFolder));
    ASSERT_TRUE(QDir(server.home()).mkpath("www"));
    set("Initial Remote Site Folder:", "/www/");
    set("Locally", "1");
    set("LocallySource", localFolder);
    set("TextTime", "1");
    const struct
    {
        QString picture;
        QString timeFile;
        QStringList pictureLines;
        QStringList timeLines;
    } cases[] = {
        {"../evil",
         "time.txt",
         {"Couldn't upload", "Not sent: the destination file name contains \"/\" or \"\\\""},
         {"Textfile uploaded"}},
        {"..",
         "time.txt",
         {"Couldn't upload", "Not sent: the destination file name is \"..\""},
         {"Textfile uploaded"}},
        {"a\\b",
         "time.txt",
         {"Couldn't upload", "Not sent: the destination file name contains \"/\" or \"\\\""},
         {"Textfile uploaded"}},
        {"cam",
         "../t.txt",
         {"Picture uploaded!"},
         {"Couldn't upload Textfile", "Not sent: the time file name contains \"/\" or \"\\\""}},
        // An empty name means "time.txt".
        {"cam", "", {"Picture uploaded!"}, {"Textfile uploaded"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.picture + " / " + c.timeFile).toStdString());
        set("Destination filename:", c.picture);
        rig.options.setTextTimeName(c.timeFile);
        rig.load();
        rig.runCycle(true);
        EXPECT_EQ(lastEntry(rig.log), connectedEntry(server.hostField(), c.pictureLines,
                                                     QStringList{"Uploading Textfile"} + c.timeLines));
        EXPECT_EQ(QDir(base.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"local"});
        EXPECT_EQ(QDir(server.home()).entryList(QDir::Files), QStringList{});
    }
    EXPECT_EQ(server.commands().filter("STOR").filter("..").size(), 0);
    EXPECT_TRUE(QFile::exists(server.homeFile("www/time.txt")));
    EXPECT_TRUE(QFile::exists(QDir(localFolder).filePath("time.txt")));
    EXPECT_EQ(rig.options.textTimeName(), "") << "the name stays as the person left it";
}
} // namespace

// "Only when changed": a timed cycle whose picture looks like the one last delivered for the
// account sends and saves nothing, says so in the log, and counts like any cycle; Upload Now and a
// moving picture always go up.
TEST_F(UploadCycleTest, OnlyWhenChangedSkipsAStillPictureOnTimedUploads)
{
    TempDir local;
    set("Only when changed", "1");
    set("TextTime", "1");
    set("Locally", "1");
    set("LocallySource", local.path());
    rig.saveOption("TextTimeName", "time.txt");
    rig.load();
    rig.fake->stillScene = true;
    const QString picture = server.homeFile("webcam.jpg");
    const auto sentAndSaved = [&] {
        const bool sent = QFile::exists(picture) && QFile::exists(server.homeFile("time.txt"));
        const bool saved = QFile::exists(local.file("webcam.jpg"));
        for (const QString& file : {picture, server.homeFile("time.txt"), local.file("webcam.jpg")})
            QFile::remove(file);
        return QStringLiteral("%1%2").arg(sent ? "sent" : "-").arg(saved ? " saved" : " -");
    };

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered) << "nothing to compare with after a start";
    EXPECT_EQ(sentAndSaved(), "sent saved");
    rig.status.setUploadState("Upload every 10 seconds");
    EXPECT_EQ(rig.runCycle(true), Outcome::Unchanged);
    EXPECT_EQ(sentAndSaved(), "- -");
    EXPECT_EQ(lastEntry(rig.log), QStringList{"Picture unchanged, not uploaded"});
    EXPECT_EQ(rig.status.uploadState(), "Upload every 10 seconds");
    EXPECT_EQ(rig.cycle->uploadCount(), 2);
    EXPECT_FALSE(QFile::exists(rig.workFile(UploadCycle::kJpegFile)));

    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered) << "Upload Now always uploads";
    EXPECT_EQ(sentAndSaved(), "sent saved");
    // The light changes: a darker picture, then a brighter one.
    rig.capture->setControl("brightness", 10);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(sentAndSaved(), "sent saved");
    rig.capture->setControl("brightness", 90);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);

    rig.accounts.set(&Account::changeThreshold, 0);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered) << "0 % lets every picture through";
    // Without the option every picture goes up, also a still one.
    rig.accounts.set(&Account::changeThreshold, 5);
    rig.accounts.set(&Account::onlyChanged, false);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
}

// The time of day window: only timed uploads, both end minutes included, across midnight too.
TEST_F(UploadCycleTest, TimeWindowForTimedUploadsOnlyAlsoAcrossMidnight)
{
    set("Only hours", "1");
    rig.load();
    const QDate today = QDate::currentDate();
    SetClock clock(QDateTime::currentDateTime());
    rig.cycle->setClock(clock);
    struct Case
    {
        const char* from;
        const char* to;
        const char* now;
        bool inside;
    };
    const Case cases[] = {
        {"08:00", "20:00", "08:00:00", true},  {"08:00", "20:00", "20:00:59", true},
        {"08:00", "20:00", "07:59:59", false}, {"08:00", "20:00", "20:01:00", false},
        {"22:00", "06:00", "23:30:00", true},  {"22:00", "06:00", "00:00:00", true},
        {"22:00", "06:00", "06:00:30", true},  {"22:00", "06:00", "12:00:00", false},
        {"22:00", "06:00", "21:59:00", false}, {"12:00", "12:00", "12:00:10", true},
        {"12:00", "12:00", "12:01:00", false},
    };
    for (const Case& c : cases) {
        set("TimeFrom", c.from);
        set("TimeTo", c.to);
        rig.accounts.ValdItem();
        clock.set(QDateTime(today, QTime::fromString(c.now, "HH:mm:ss")));
        rig.status.setUploadState("before");
        const qint64 count = rig.cycle->uploadCount();
        EXPECT_EQ(rig.runCycle(true), c.inside ? Outcome::Delivered : Outcome::OutsideTimeWindow)
            << c.from << "-" << c.to << " at " << c.now;
        EXPECT_EQ(rig.cycle->uploadCount(), count + (c.inside ? 1 : 0));
        EXPECT_EQ(rig.status.uploadState(), "before");
        EXPECT_EQ(rig.runCycle(false), Outcome::Delivered) << "Upload Now ignores the window";
    }
    // Without the tick the times do not count.
    set("Only hours", "0");
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
}

// A stored value that cannot be used gets one line in the log naming it and what stands in for it,
// once while it stays as it is, again once it changed; a pattern without a date removes nothing
// rather than saying "Removed 0".
TEST_F(UploadCycleTest, StoredValuesThatCannotBeUsedAreNamedOnceWithWhatStandsIn)
{
    set("Only hours", "1");
    set("TimeFrom", "25:99");
    set("TimeTo", "06:00");
    set("Archive on server", "1");
    set("Archive days", "7");
    set("Archive name", "cam-%H%M%S.jpg");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
    rig.cycle->setClock(clock);
    const QString timeFrom = "The stored 'TimeFrom' value '25:99' is not a time; 08:00 is used";
    const QString undated =
        "The stored 'Archive name' value 'cam-%H%M%S.jpg' has no date in it; old archive copies on the "
        "server are kept";
    const auto count = [this](const QString& line) { return rig.log.text().count("\r\n" + line + "\r\n"); };

    // 25:99 to 06:00 is 08:00 to 06:00: noon is inside.
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(count(timeFrom), 1);
    EXPECT_EQ(count(undated), 1);
    EXPECT_FALSE(rig.log.text().contains("Removing old archive copies"));
    clock.advanceSeconds(1);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(count(timeFrom), 1) << "not again while it stays";

    set("TimeFrom", "x\x1b[2J");
    set("Archive name", "../cam-%Y.jpg");
    rig.accounts.ValdItem();
    clock.advanceSeconds(1);
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(count("The stored 'TimeFrom' value 'x" + QString(QChar::ReplacementCharacter) +
                    "' is not a time; 08:00 is used"),
              1);
    EXPECT_EQ(count("The stored 'Archive name' value '../cam-%Y.jpg' cannot be used, no archive copies are "
                    "made: " +
                    ArchiveName("../cam-%Y.jpg").problem()),
              1);

    set("TimeFrom", "22:00");
    rig.accounts.ValdItem();
    const QString before = rig.log.text();
    EXPECT_EQ(rig.runCycle(true), Outcome::OutsideTimeWindow);
    EXPECT_EQ(rig.log.text(), before);
    set("TimeFrom", "25:99");
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(count(timeFrom), 2) << "again after it changed";
}

// Archive copies on the server: after the picture, on its connection, under the pattern's name;
// copies named more than the days ago go (at most once an hour), nothing else in the folder does.
TEST_F(UploadCycleTest, ArchiveCopiesFollowThePictureOnItsConnectionAndOnlyOldCopiesGo)
{
    ASSERT_TRUE(QDir(server.home()).mkpath("www"));
    const QStringList present{"cam-20260401-000000.jpg", "cam-20260505-120000.jpg", "cam-20260101.jpg",
                              "notes.txt", "cam-20261340-000000.jpg"};
    for (const QString& name : present)
        writeFile(server.homeFile("www/" + name), "old");
    set("Initial Remote Site Folder:", "/www/");
    set("Archive on server", "1");
    set("Archive days", "7");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
    rig.cycle->setClock(clock);

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    const QStringList archive{"Uploading archive copy", "Archive copy uploaded"};
    EXPECT_EQ(lastEntry(rig.log), connectedEntry(server.hostField(), {"Picture uploaded!"},
                                                 archive + QStringList{"Removing old archive copies",
                                                                       "Removed 1 old archive copies"}));
    QStringList expected = present;
    expected.removeOne("cam-20260401-000000.jpg");
    expected << "cam-20260510-120000.jpg"
             << "webcam.jpg";
    expected.sort();
    EXPECT_EQ(QDir(server.homeFile("www")).entryList(QDir::Files), expected);
    EXPECT_EQ(readFile(server.homeFile("www/cam-20260510-120000.jpg")),
              readFile(server.homeFile("www/webcam.jpg")));
    EXPECT_EQ(server.commands().filter(QRegularExpression("^USER ")).size(), 1) << "one connection";

    // Within the hour the folder is not listed again; Upload Now makes its copy too.
    clock.advanceSeconds(1);
    EXPECT_EQ(rig.runCycle(false), Outcome::Delivered);
    EXPECT_EQ(lastEntry(rig.log), connectedEntry(server.hostField(), {"Picture uploaded!"}, archive));
    EXPECT_TRUE(QFile::exists(server.homeFile("www/cam-20260510-120001.jpg")));

    // A picture that did not arrive gets no copy.
    set("Destination filename:", "missing/cam");
    rig.accounts.ValdItem();
    EXPECT_EQ(rig.runCycle(true), Outcome::Failed);
    EXPECT_FALSE(lastEntry(rig.log).contains("Uploading archive copy"));
}

// The copies go where the account's folder and their name put them, joined as they are; a folder
// without its "/" puts them beside it ("wwwcam-....jpg"), and that is where old ones are looked for.
TEST_F(UploadCycleTest, OldArchiveCopiesAreLookedForWhereTheCopiesAreWritten)
{
    const struct
    {
        const char* folder;
        QString copies; // where the copies land, below the server's home, with their prefix
    } cases[] = {{"/www/", "www/"}, {"www", "www"}, {"/www", "www"}, {"", ""}};
    ASSERT_TRUE(QDir(server.home()).mkpath("www"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder);
        // An old copy where this folder puts them, and old copies' names that it did not write.
        QStringList present{c.copies + "cam-20260401-000000.jpg"};
        static const QRegularExpression copyName("^cam-[0-9]{8}-[0-9]{6}\\.jpg$");
        for (const QString other :
             {"cam-20260402-000000.jpg", "www/cam-20260403-000000.jpg", "wwwcam-20260404-000000.jpg"}) {
            if (!(other.startsWith(c.copies) && copyName.match(other.mid(c.copies.size())).hasMatch()))
                present << other;
        }
        for (const QString& name : present)
            writeFile(server.homeFile(name), "old");
        // A program of its own for each folder: the clean-up runs once an hour.
        UploadRig own;
        own.useServer(server, c.folder);
        own.saveAccount(AccountBook::kDefaultAccount, "Archive on server", "1");
        own.saveAccount(AccountBook::kDefaultAccount, "Archive days", "7");
        own.load();
        SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
        own.cycle->setClock(clock);
        EXPECT_EQ(own.runCycle(true), Outcome::Delivered);
        EXPECT_TRUE(lastEntry(own.log).contains("Removed 1 old archive copies"))
            << lastEntry(own.log).join('|').toStdString();
        EXPECT_TRUE(QFile::exists(server.homeFile(c.copies + "cam-20260510-120000.jpg")));
        for (const QString& name : present)
            EXPECT_EQ(QFile::exists(server.homeFile(name)), name != present.front()) << name.toStdString();
        for (const QString& name : present + QStringList{c.copies + "cam-20260510-120000.jpg"})
            QFile::remove(server.homeFile(name));
    }
}

// A server that refuses to remove old copies is asked a few times on the one connection, and the
// log says it once, with the server's reason; the rest wait for the next clean-up.
TEST_F(UploadCycleTest, RefusedRemovalsStopAfterAFewOnOneConnection)
{
    FtpServer refusing;
    ASSERT_TRUE(refusing.start({.refuseDele = true})) << refusing.startError().toStdString();
    rig.useServer(refusing);
    for (int day = 1; day <= 20; ++day)
        writeFile(refusing.homeFile(QString("cam-202602%1-000000.jpg").arg(day, 2, 10, QChar('0'))), "old");
    set("Archive on server", "1");
    set("Archive days", "7");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(12, 0, 0)));
    rig.cycle->setClock(clock);

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(lastEntry(rig.log),
              connectedEntry(refusing.hostField(), {"Picture uploaded!"},
                             {"Uploading archive copy", "Archive copy uploaded",
                              "Removing old archive copies", "Removed 0 old archive copies",
                              "Couldn't remove 3 old archive copies, 17 more left for the next clean-up",
                              "Server: 550 Removing is not allowed here."}));
    EXPECT_EQ(refusing.commands().filter(QRegularExpression("^USER ")).size(), 1) << "one connection";
    EXPECT_EQ(refusing.commands().filter(QRegularExpression("^DELE ")).size(), 3);
}

TEST_F(UploadCycleTest, AFolderThatCannotBeListedKeepsEveryCopy)
{
    FtpServer refusing;
    FtpServer::Options options;
    options.refuseList = true;
    ASSERT_TRUE(refusing.start(options)) << refusing.startError().toStdString();
    rig.useServer(refusing);
    writeFile(refusing.homeFile("cam-20000101-000000.jpg"), "old");
    set("Archive on server", "1");
    rig.load();

    EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
    EXPECT_EQ(lastEntry(rig.log), connectedEntry(refusing.hostField(), {"Picture uploaded!"},
                                                 {"Uploading archive copy", "Archive copy uploaded",
                                                  "Removing old archive copies",
                                                  "Couldn't list the folder, old archive copies kept",
                                                  "Server: 550 Listing is not allowed here."}));
    EXPECT_TRUE(QFile::exists(refusing.homeFile("cam-20000101-000000.jpg")));
}

// Local archive copies go into the local folder; only the newest are kept, other files stay.
TEST_F(UploadCycleTest, LocalArchiveKeepsTheNewestCopiesAndNothingElseIsRemoved)
{
    TempDir local;
    writeFile(local.file("notes.txt"), "mine");
    writeFile(local.file("cam-old.jpg"), "mine");
    set("Locally", "1");
    set("Only Locally", "1");
    set("LocallySource", local.path());
    set("Archive locally", "1");
    set("Archive keep", "2");
    set("Archive name", "door %Y-%m-%d %H.%M.%S.jpg");
    rig.load();
    SetClock clock(QDateTime(QDate(2026, 5, 10), QTime(23, 59, 58)));
    rig.cycle->setClock(clock);
    for (int n = 0; n < 3; ++n) {
        EXPECT_EQ(rig.runCycle(true), Outcome::Delivered);
        clock.advanceSeconds(1);
    }
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files),
              QStringList({"cam-old.jpg", "door 2026-05-10 23.59.59.jpg", "door 2026-05-11 00.00.00.jpg",
                           "notes.txt", "webcam.jpg"}));
    EXPECT_EQ(readFile(local.file("door 2026-05-11 00.00.00.jpg")), readFile(local.file("webcam.jpg")));
    EXPECT_EQ(server.commands(), QStringList()) << "only locally";
}
