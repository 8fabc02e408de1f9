#include "upload/UploaderLock.h"
#include "FakeCapture.h"
#include "FtpServer.h"
#include "UploadRig.h"
#include "upload/TimerSet.h"
#include "upload/UploadEngine.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {
class UploaderLockTest : public ::testing::Test
{
protected:
    std::unique_ptr<UploadEngine> engine(RecordingStatus& status)
    {
        return std::make_unique<UploadEngine>(
            UploadEngine::Settings{store, dir.file("work")}, prompter, status, [] {},
            std::make_unique<FakeCapture>());
    }

    TempDir dir;
    QString store = dir.file("store.db");
    ScriptedPrompter prompter;
};

// Of two engines on one store, the first uploads; the second arms no timer, runs no Upload Now and
// says why in the status and the log. Once the first is gone, the next one uploads.
TEST_F(UploaderLockTest, OneEnginePerStoreUploadsAndTheOtherSaysWhy)
{
    FtpServer server;
    ASSERT_TRUE(server.start()) << server.startError().toStdString();
    {
        Regedit setup(store);
        const QString account = "Software\\Velmora\\Cam";
        setup.SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Account1", "Cam");
        for (const auto& [name, text] :
             std::vector<std::pair<QString, QString>>{{"Selected", "True"},
                                                      {"Host Name/Adress:", server.hostField()},
                                                      {"User ID:", FtpServer::kUser},
                                                      {"Password:", FtpServer::kPassword},
                                                      {"Upload image every:", "10 seconds"}})
            setup.SaveString(HKEY_LOCAL_MACHINE, account, name, text);
    }
    RecordingStatus firstStatus;
    RecordingStatus secondStatus;
    std::unique_ptr<UploadEngine> first = engine(firstStatus);
    std::unique_ptr<UploadEngine> second = engine(secondStatus);
    EXPECT_TRUE(first->isUploader());
    ASSERT_FALSE(second->isUploader());

    second->accounts().loadList();
    second->scheduler().StartTimer();
    EXPECT_EQ(secondStatus.uploadState(), UploadEngine::kAnotherUploader);
    EXPECT_EQ(second->scheduler().timers().count(), 0);
    second->scheduler().mnuupload_now_Click();
    QTest::qWait(200);
    EXPECT_EQ(second->log().text().count(UploadEngine::kAnotherUploader), 2) << "at the start, at Upload Now";
    EXPECT_EQ(second->cycle().uploadCount(), 0);
    EXPECT_TRUE(server.commands().isEmpty());

    first->accounts().loadList();
    first->scheduler().StartTimer();
    EXPECT_EQ(firstStatus.uploadState(), "Upload every 10 seconds");

    first.reset();
    second.reset();
    RecordingStatus thirdStatus;
    EXPECT_TRUE(engine(thirdStatus)->isUploader());
}

// The lock needs no write access: a write-protected store is guarded too. A store that cannot be
// opened at all guards nothing and stops nobody.
TEST_F(UploaderLockTest, AWriteProtectedStoreIsGuardedAndAMissingOneStopsNobody)
{
    Regedit(store).SaveString(HKEY_LOCAL_MACHINE, "Software\\Velmora", "Min", "1");
    ASSERT_TRUE(QFile::setPermissions(store, QFileDevice::ReadOwner));
    UploaderLock first(store);
    UploaderLock second(store);
    EXPECT_TRUE(first.acquire());
    EXPECT_TRUE(first.isHeld());
    EXPECT_FALSE(second.acquire());
    EXPECT_FALSE(second.isHeld());

    UploaderLock nowhere(dir.file("missing/store.db"));
    EXPECT_TRUE(nowhere.acquire());
    EXPECT_FALSE(nowhere.isHeld());
}
} // namespace
