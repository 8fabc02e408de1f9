#include "upload/TimelapseService.h"
#include "MovieProbe.h"
#include "SetClock.h"
#include "UploadRig.h"
#include "capture/GstInit.h"
#include "common/DateTimeText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

// The daily timelapse of an account: a day of generated archive copies in the local folder, the
// settable clock, pyftpdlib on loopback; the movies are read back with GStreamer.
namespace {
class TimelapseServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ensureGstInitialized();
        ASSERT_TRUE(server.start()) << server.startError().toStdString();
        rig.saveOption("Account1", "Cam");
        rig.useServer(server, QString(), "Cam");
        for (const auto& [name, text] :
             std::initializer_list<std::pair<const char*, QString>>{{"Selected", "True"},
                                                                    {"LocallySource", local.path() + '/'},
                                                                    {"Archive locally", "1"},
                                                                    {"Timelapse", "1"},
                                                                    {"Timelapse time", "00:10"}})
            rig.saveAccount("Cam", name, text);
        rig.load();
    }
    // Archive copies of a day, one every `minutes`, as the upload cycle names them.
    void archiveDay(const QDate& day, int count, int minutes, QSize size = {160, 120})
    {
        QImage image(size, QImage::Format_RGB32);
        for (int i = 0; i < count; ++i) {
            const QDateTime at(day, QTime(0, 0).addSecs(i * minutes * 60));
            image.fill(QColor::fromHsv((i * 5) % 360, 200, 200));
            QPainter(&image).drawText(image.rect(), Qt::AlignCenter, QString::number(i));
            ASSERT_TRUE(image.save(local.file(at.toString("'cam-'yyyyMMdd-HHmmss'.jpg'")), "JPEG"));
        }
    }
    // Runs the event loop until the service finishes a movie; its (account, sent, text).
    std::optional<QVariantList> finish(int timeoutMs = 60000)
    {
        QSignalSpy finished(&service, &TimelapseService::finished);
        if (!finished.wait(timeoutMs))
            return std::nullopt;
        return finished.front();
    }
    QStringList localFiles(const QString& filter) const
    {
        return QDir(local.path()).entryList({filter}, QDir::Files | QDir::Hidden, QDir::Name);
    }

    FtpServer server;
    UploadRig rig{UploadRig::Camera::None};
    TempDir local;
    SetClock clock{QDateTime(QDate(2026, 12, 7), QTime(0, 5))};
    TimelapseService service{rig.accounts, rig.log, UploadRig::shortTimeouts(), clock};
};

TEST_F(TimelapseServiceTest, AtItsTimeTheDayBeforeBecomesAMovieOnTheServerAndInTheLocalFolder)
{
    archiveDay(QDate(2026, 12, 6), 240, 6);
    archiveDay(QDate(2026, 12, 5), 10, 60); // other days stay out
    archiveDay(QDate(2026, 12, 7), 1, 1);
    QSignalSpy finished(&service, &TimelapseService::finished);
    service.startTimer();
    EXPECT_FALSE(service.isBusy()) << "before 00:10 nothing is due";

    // Due at start, while the list is not read yet: made once the account is ticked in the list.
    clock.set(QDateTime(QDate(2026, 12, 7), QTime(0, 11)));
    rig.accounts.setChecked(0, false);
    service.startTimer();
    EXPECT_FALSE(service.isBusy());
    rig.accounts.setChecked(0, true);
    ASSERT_TRUE(service.isBusy());
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_EQ(finished.front(), QVariantList({"Cam", true, "Timelapse sent"}))
        << rig.log.text().toStdString();
    const QString name = QStringLiteral("timelapse-20261206.webm");
    const QString uploaded = server.homeFile(name);
    EXPECT_EQ(countVideoFrames(uploaded), 240);
    EXPECT_NEAR(probeMovie(uploaded).seconds, 9.6, 0.05);
    EXPECT_EQ(QDir(server.home()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
    EXPECT_EQ(localFiles("*.webm*"), QStringList{name});
    const QString log = rig.log.text();
    for (const char* line :
         {"Timelapse of \"Cam\" for 2026-12-06", "240 pictures at 25 a second",
          "Timelapse: 25 % (60 of 240 pictures)", "Timelapse: 75 %",
          "Timelapse made: timelapse-20261206.webm (240 pictures, 160 x 120, 9.6 s)", "Timelapse sent"})
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line << "\n" << log.toStdString();

    // Made once a day: later checks, and a restart that finds the movie, make nothing.
    clock.set(QDateTime(QDate(2026, 12, 7), QTime(18, 0)));
    service.startTimer();
    EXPECT_FALSE(service.isBusy());
    TimelapseService restarted(rig.accounts, rig.log, UploadRig::shortTimeouts(), clock);
    restarted.startTimer();
    EXPECT_FALSE(restarted.isBusy());
}

TEST_F(TimelapseServiceTest, TheNewestMoviesStayLocallyAndADayWithoutPicturesMakesNone)
{
    rig.saveAccount("Cam", "Timelapse keep", "2");
    rig.saveAccount("Cam", "Timelapse rate", "10");
    for (const char* old :
         {"timelapse-20261201.webm", "timelapse-20261202.webm", "timelapse-20261203.webm", "notes.webm"}) {
        QFile file(local.file(old));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old");
    }
    archiveDay(QDate(2026, 12, 4), 30, 30);
    ASSERT_TRUE(service.makeNow("Cam", QDate(2026, 12, 4)).ok());
    std::optional<QVariantList> done = finish();
    ASSERT_TRUE(done);
    EXPECT_EQ(done->at(1), true) << rig.log.text().toStdString();
    EXPECT_EQ(localFiles("*.webm"),
              QStringList({"notes.webm", "timelapse-20261203.webm", "timelapse-20261204.webm"}));
    EXPECT_NEAR(probeMovie(local.file("timelapse-20261204.webm")).seconds, 3.0, 0.05);
    EXPECT_TRUE(rig.log.text().contains("Removed the older movie timelapse-20261201.webm"));

    const qsizetype before = rig.log.text().size();
    QSignalSpy finished(&service, &TimelapseService::finished);
    ASSERT_TRUE(service.makeNow("Cam", QDate(2026, 11, 30)).ok());
    ASSERT_EQ(finished.size(), 1) << "nothing to wait for";
    EXPECT_EQ(finished.front(), QVariantList({"Cam", false, "No pictures that day, no movie"}));
    EXPECT_FALSE(QFile::exists(local.file("timelapse-20261130.webm")));
    EXPECT_EQ(rig.log.text().mid(before), FtpLog::kEntryStart + generalDateTimeText(clock.now()) +
                                              "]---\r\nTimelapse of \"Cam\" for 2026-11-30\r\nNo pictures "
                                              "that day, no movie");
}

// Without local archive copies there is nothing to make a movie of: the window's button says why,
// and the daily check logs it once.
TEST_F(TimelapseServiceTest, AnAccountWithoutLocalArchiveCopiesSaysWhy)
{
    rig.saveAccount("Cam", "Archive locally", "0");
    const Result<void> refused = service.makeNow("Cam", QDate(2026, 12, 6));
    ASSERT_FALSE(refused.ok());
    const QString why =
        QStringLiteral("A timelapse is made of the local archive copies: tick \"Keep dated copies in "
                       "the local folder\" on the Archive tab");
    EXPECT_EQ(refused.failure().sentence, why);

    clock.set(QDateTime(QDate(2026, 12, 7), QTime(1, 0)));
    QSignalSpy finished(&service, &TimelapseService::finished);
    service.startTimer();
    service.startTimer();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.front(), QVariantList({"Cam", false, why}));
    EXPECT_EQ(rig.log.text().count(why), 1);
    EXPECT_TRUE(localFiles("*.webm*").isEmpty());
}

// The movie goes up as the uploads' pictures do: a server that refuses the rename keeps neither
// its temporary file nor half a movie, and one that renames onto free names only gets the new
// movie in place of the old one.
TEST_F(TimelapseServiceTest, AServerThatRefusesTheRenameKeepsNoPartOfTheMovie)
{
    archiveDay(QDate(2026, 12, 6), 20, 60);
    QFile broken(local.file("cam-20261206-235900.jpg"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("no picture");
    broken.close();
    const QString name = QStringLiteral("timelapse-20261206.webm");
    for (const bool refuseAll : {true, false}) {
        SCOPED_TRACE(refuseAll ? "every rename refused" : "renames onto a free name only");
        server.stop();
        FtpServer::Options options;
        options.refuseRename = refuseAll;
        options.refuseRenameOver = !refuseAll;
        ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
        rig.useServer(server, QString(), "Cam");
        QFile old(server.homeFile(name));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("the movie of an earlier run");
        old.close();
        QFile::remove(local.file(name));

        ASSERT_TRUE(service.makeNow("Cam", QDate(2026, 12, 6)).ok());
        const std::optional<QVariantList> done = finish();
        ASSERT_TRUE(done);
        EXPECT_EQ(QDir(server.home()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
        EXPECT_EQ(localFiles("*.webm*"), QStringList{name});
        if (refuseAll) {
            EXPECT_EQ(done->at(2).toString(),
                      "Couldn't send the timelapse: 550 Renaming is not allowed here.");
            EXPECT_EQ(QFileInfo(server.homeFile(name)).size(), 27) << "the old movie stays";
        } else {
            EXPECT_EQ(done->at(2).toString(), "Timelapse sent") << rig.log.text().toStdString();
            EXPECT_EQ(countVideoFrames(server.homeFile(name)), 20);
        }
        EXPECT_TRUE(
            rig.log.text().contains("Timelapse made: timelapse-20261206.webm (20 pictures, 160 x 120, "
                                    "0.8 s); 1 file was no readable picture"))
            << rig.log.text().toStdString();
    }
}

// Exit while the movie is being made: it stops within 2 s and leaves nothing under the movie's
// name, on the server or here.
TEST_F(TimelapseServiceTest, StoppingWhileMakingLeavesNoMovie)
{
    archiveDay(QDate(2026, 12, 6), 400, 3, {640, 480});
    QSignalSpy progress(&service, &TimelapseService::progress);
    QSignalSpy stopped(&service, &TimelapseService::stopped);
    ASSERT_TRUE(service.makeNow("Cam", QDate(2026, 12, 6)).ok());
    ASSERT_TRUE(progress.wait(20000));
    QElapsedTimer stopping;
    stopping.start();
    service.stop();
    ASSERT_TRUE(stopped.count() == 1 || stopped.wait(2000));
    EXPECT_LT(stopping.elapsed(), 2000);
    EXPECT_FALSE(service.isBusy());
    EXPECT_TRUE(localFiles("*.webm*").isEmpty()) << localFiles("*").join(' ').toStdString();
    EXPECT_TRUE(QDir(server.home()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(rig.log.text().contains("Timelapse stopped; no movie"));
    EXPECT_FALSE(service.makeNow("Cam", QDate(2026, 12, 6)).ok());
}

// The FTP log: an upload writes its entry line by line as it goes. The movie's lines wait while
// one does, and lines that come after another writer's entry start an entry of their own under the
// movie's title, so no line lands in an entry it does not belong to.
TEST_F(TimelapseServiceTest, ItsLogLinesNeverLandInsideAnUploadsEntry)
{
    archiveDay(QDate(2026, 12, 6), 40, 30);
    bool uploading = true;
    service.setLogBusy([&] { return uploading; });
    const QString upload = FtpLog::kEntryStart + "upload]---\r\nConnecting...";
    rig.log.append(upload);
    QSignalSpy finished(&service, &TimelapseService::finished);
    ASSERT_TRUE(service.makeNow("Cam", QDate(2026, 12, 6)).ok());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(rig.log.text(), upload) << "nothing inside the upload's entry";
    rig.log.append("\r\nDisconnected");
    uploading = false;
    service.flushLog();
    QString log = rig.log.text();
    EXPECT_GT(log.indexOf("Timelapse of \"Cam\" for 2026-12-06"), log.indexOf("Disconnected"));
    EXPECT_TRUE(log.endsWith("\r\nTimelapse sent")) << log.toStdString();
    EXPECT_EQ(log.count(FtpLog::kEntryStart), 2);

    // Another writer's entry in the middle of a movie: the movie's next lines start anew, titled.
    rig.log.reset();
    QSignalSpy progress(&service, &TimelapseService::progress);
    QObject context;
    QObject::connect(&service, &TimelapseService::progress, &context, [&](const QString&, int done, int) {
        if (done == 2)
            rig.log.append(FtpLog::kEntryStart + "other]---\r\nUploading...");
    });
    finished.clear();
    ASSERT_TRUE(service.makeNow("Cam", QDate(2026, 12, 6)).ok());
    ASSERT_TRUE(finished.wait(30000));
    log = rig.log.text();
    EXPECT_EQ(log.count("Timelapse of \"Cam\" for 2026-12-06"), 2) << log.toStdString();
    EXPECT_LT(log.indexOf("Uploading..."), log.indexOf("Timelapse: 25 %")) << log.toStdString();
    EXPECT_EQ(log.count(FtpLog::kEntryStart), 3);
}

// Every reason an account cannot make a movie, in the words the Archive tab and the log show.
TEST(TimelapseWhyNot, EachSettingThatStopsTheMovieIsNamed)
{
    Account fine;
    fine.archiveLocal = true;
    fine.localFolder = "/tmp/cam/";
    fine.archivePattern = "cam-%Y%m%d-%H%M%S.jpg";
    fine.timelapsePattern = "timelapse-%Y%m%d.webm";
    fine.timelapseRate = 25;
    EXPECT_EQ(TimelapseService::whyNot(fine), "");
    EXPECT_EQ(TimelapseService::movieName(fine, QDate(2026, 12, 6)), "timelapse-20261206.webm");
    const struct
    {
        std::function<void(Account&)> change;
        const char* why;
    } cases[] = {
        {[](Account& a) { a.archiveLocal = false; }, "A timelapse is made of the local archive copies"},
        {[](Account& a) { a.localFolder.clear(); }, "A timelapse needs the local folder"},
        {[](Account& a) { a.archivePattern = "cam-%H%M.jpg"; }, "The archive name must hold the date"},
        {[](Account& a) { a.timelapsePattern = "movie.webm"; }, "The timelapse name cannot be used: "},
        {[](Account& a) { a.timelapsePattern = "../%Y%m%d.webm"; }, "The timelapse name cannot be used: "},
        {[](Account& a) { a.timelapsePattern = "movie-%H.webm"; }, "The timelapse name must hold the date"},
        {[](Account& a) { a.timelapsePattern = "cam-%Y%m%d-%H%M%S.jpg"; }, "The timelapse name must differ"},
        {[](Account& a) { a.archivePattern = "timelapse-%Y%m%d.webm"; }, "The timelapse name must differ"},
        {[](Account& a) { a.timelapseRate = 0; }, "The timelapse rate must be 1 to 60 pictures a second"},
        {[](Account& a) { a.timelapseRate = 61; }, "The timelapse rate must be 1 to 60 pictures a second"},
    };
    for (const auto& c : cases) {
        Account account = fine;
        c.change(account);
        EXPECT_TRUE(TimelapseService::whyNot(account).startsWith(QString::fromUtf8(c.why)))
            << c.why << " / " << TimelapseService::whyNot(account).toStdString();
    }
}
} // namespace
