#include "upload/ConnectionTest.h"
#include "FtpServer.h"
#include "UploadRig.h"
#include "settings/Account.h"
#include "upload/DestinationSessions.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {
// "Test" does what an upload does: with "Safe replace" it renames onto its own file, so a server
// that refuses that is found at once, and one that only renames onto a free name is named.
TEST(ConnectionTestTest, SafeReplaceIsTriedWithARenameAndTheServersWayIsSaid)
{
    const struct
    {
        const char* what;
        FtpServer::Options options;
        bool safeReplace;
        bool passed;
        const char* lastLine;
    } cases[] = {
        {"plain upload", {}, false, true, "Wrote and removed a test file in the folder."},
        {"renames", {}, true, true, "Replaced it by a rename, as \"Safe replace\" does."},
        {"renames onto a free name only",
         {.refuseRenameOver = true},
         true,
         true,
         "The server does not rename onto an existing file: \"Safe replace\" moves the old picture aside "
         "first, so a web page may find none for a moment."},
        {"refuses every rename",
         {.refuseRename = true},
         true,
         false,
         "Server: 550 Renaming is not allowed here."},
        {"refuses renames, no safe replace",
         {.refuseRename = true},
         false,
         true,
         "Wrote and removed a test file in the folder."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FtpServer server;
        ASSERT_TRUE(server.start(c.options)) << server.startError().toStdString();
        Account account;
        account.host = server.hostField();
        account.user = FtpServer::kUser;
        account.password = FtpServer::kPassword;
        account.safeReplace = c.safeReplace;
        const auto session =
            DestinationSessions::create(UploadRig::shortTimeouts(), ConnectionTest::settingsFor(account));
        const ConnectionTest::Report report = ConnectionTest::run(*session, account);
        EXPECT_EQ(report.passed, c.passed) << report.text.toStdString();
        EXPECT_TRUE(report.text.endsWith(QString::fromUtf8(c.lastLine))) << report.text.toStdString();
        EXPECT_TRUE(QDir(server.home()).entryList(QDir::Files | QDir::Hidden).isEmpty())
            << "nothing of the test stays on the server";
    }
}
} // namespace
