#include "WebDavServer.h"
#include "Curl.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>

namespace {
const QByteArray kPicture =
    QByteArrayLiteral("\xff\xd8\xff\xe0 not quite a JPEG, but bytes all the same \xff\xd9");

QByteArray fileContent(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

struct AuthCase
{
    const char* name;
    WebDavServer::Auth auth;
    const char* curlOption;
};

void PrintTo(const AuthCase& row, std::ostream* out)
{
    *out << row.name;
}

class WebDavServerTest : public ::testing::TestWithParam<AuthCase>
{
protected:
    void SetUp() override { startServer({}); }

    void startServer(WebDavServer::Options options)
    {
        options.auth = GetParam().auth;
        ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
    }

    // curl with the account's credentials in the scheme under test.
    CurlResult dav(const QStringList& arguments, const QString& password = WebDavServer::kPassword)
    {
        return runCurl(QStringList{QString::fromLatin1(GetParam().curlOption), QStringLiteral("--user"),
                                   WebDavServer::kUser + QLatin1Char(':') + password} +
                       arguments);
    }

    CurlResult put(const QString& relative, const QByteArray& content, const QStringList& more = {})
    {
        return dav(
            QStringList{QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("upload"), content)} +
            more + QStringList{server.url(relative)});
    }

    WebDavServer server;
    QTemporaryDir files;
};

TEST_P(WebDavServerTest, TheClientsMethodsWorkAsOnARealServer)
{
    // A new picture is created, a second PUT replaces it.
    const QStringList headers{QStringLiteral("--header"), QStringLiteral("Content-Type: image/jpeg"),
                              QStringLiteral("--header"), QStringLiteral("Cache-Control: no-cache")};
    EXPECT_EQ(put(QStringLiteral("cam.jpg"), "old", headers).status, 201);
    EXPECT_EQ(put(QStringLiteral("cam.jpg"), kPicture, headers).status, 204);
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("cam.jpg"))), kPicture);

    const CurlResult head = dav({QStringLiteral("--head"), server.url(QStringLiteral("cam.jpg"))});
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length").toInt(), kPicture.size());

    // Safe replace: the new picture under a temporary name, moved over the old one.
    EXPECT_EQ(put(QStringLiteral("cam.jpg.part"), "newest").status, 201);
    const QStringList move{QStringLiteral("--request"), QStringLiteral("MOVE"), QStringLiteral("--header"),
                           QStringLiteral("Destination: ") + server.url(QStringLiteral("cam.jpg"))};
    EXPECT_EQ(dav(move + QStringList{QStringLiteral("--header"), QStringLiteral("Overwrite: F"),
                                     server.url(QStringLiteral("cam.jpg.part"))})
                  .status,
              412);
    EXPECT_EQ(dav(move + QStringList{QStringLiteral("--header"), QStringLiteral("Overwrite: T"),
                                     server.url(QStringLiteral("cam.jpg.part"))})
                  .status,
              204);
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("cam.jpg"))), "newest");
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("cam.jpg.part"))));

    // Archive folder and its listing.
    EXPECT_EQ(
        dav({QStringLiteral("--request"), QStringLiteral("MKCOL"), server.url(QStringLiteral("archive"))})
            .status,
        201);
    EXPECT_EQ(put(QStringLiteral("archive/cam-20240102-0304.jpg"), kPicture).status, 201);
    const CurlResult listing =
        dav({QStringLiteral("--request"), QStringLiteral("PROPFIND"), QStringLiteral("--header"),
             QStringLiteral("Depth: 1"), server.url(QStringLiteral("archive/"))});
    EXPECT_EQ(listing.status, 207);
    EXPECT_TRUE(listing.body.contains("<D:href>/dav/archive/cam-20240102-0304.jpg</D:href>"))
        << listing.body.toStdString();
    EXPECT_TRUE(listing.body.contains(
        QStringLiteral("<lp1:getcontentlength>%1</lp1:getcontentlength>").arg(kPicture.size()).toLatin1()))
        << listing.body.toStdString();

    EXPECT_EQ(dav({QStringLiteral("--request"), QStringLiteral("DELETE"),
                   server.url(QStringLiteral("archive/cam-20240102-0304.jpg"))})
                  .status,
              204);
    EXPECT_EQ(
        dav({QStringLiteral("--head"), server.url(QStringLiteral("archive/cam-20240102-0304.jpg"))}).status,
        404);

    // The log shows what the client sent: the first PUT's headers, the MOVE's (read once the last
    // request's line is there).
    const QList<HttpRequestLog::Entry> requests =
        server.log().waitFor(1, 5000, [](const HttpRequestLog::Entry& e) {
            return e.method == QStringLiteral("HEAD") && e.status == 404;
        });
    const auto firstPut = std::find_if(requests.begin(), requests.end(), [](const HttpRequestLog::Entry& e) {
        return e.method == QStringLiteral("PUT") && e.status == 201;
    });
    ASSERT_NE(firstPut, requests.end());
    EXPECT_EQ(firstPut->target, QStringLiteral("/dav/cam.jpg"));
    EXPECT_EQ(firstPut->fields.value(QStringLiteral("Content-Type")), QStringLiteral("image/jpeg"));
    EXPECT_EQ(firstPut->fields.value(QStringLiteral("Cache-Control")), QStringLiteral("no-cache"));
    const auto moved = std::find_if(requests.begin(), requests.end(), [](const HttpRequestLog::Entry& e) {
        return e.method == QStringLiteral("MOVE") && e.status == 204;
    });
    ASSERT_NE(moved, requests.end());
    EXPECT_EQ(moved->fields.value(QStringLiteral("Overwrite")), QStringLiteral("T"));
}

TEST_P(WebDavServerTest, WrongCredentialsGet401)
{
    for (const QString& password : {QStringLiteral("wrong"), QString()}) {
        const CurlResult result =
            put(QStringLiteral("cam.jpg"), kPicture,
                {QStringLiteral("--user"), WebDavServer::kUser + QLatin1Char(':') + password});
        EXPECT_EQ(result.status, 401) << password.toStdString();
    }
    // The other scheme, even with the right password.
    const CurlResult otherScheme =
        runCurl({QString::fromLatin1(GetParam().auth == WebDavServer::Auth::Basic ? "--digest" : "--basic"),
                 QStringLiteral("--user"), WebDavServer::kUser + QLatin1Char(':') + WebDavServer::kPassword,
                 QStringLiteral("--head"), server.url(QString())});
    EXPECT_EQ(otherScheme.status, 401);
    const CurlResult anonymous = runCurl({QStringLiteral("--head"), server.url(QString())});
    EXPECT_EQ(anonymous.status, 401);
    EXPECT_TRUE(anonymous.header("WWW-Authenticate")
                    .startsWith(GetParam().auth == WebDavServer::Auth::Basic ? "Basic realm=\"velmora\""
                                                                             : "Digest realm=\"velmora\""))
        << anonymous.headers.toStdString();
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("cam.jpg"))));
}

TEST_P(WebDavServerTest, HttpsWithTheTestCa)
{
    server.stop();
    WebDavServer::Options options;
    options.https = true;
    startServer(options);
    ASSERT_TRUE(server.baseUrl().startsWith(QStringLiteral("https://127.0.0.1:")));

    const CurlResult trusted =
        put(QStringLiteral("cam.jpg"), kPicture, {QStringLiteral("--cacert"), server.caFile()});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.errors.toStdString();
    EXPECT_EQ(trusted.status, 201);
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("cam.jpg"))), kPicture);

    // Without the CA the certificate cannot be verified (curl's 60).
    const CurlResult untrusted = put(QStringLiteral("other.jpg"), kPicture);
    EXPECT_EQ(untrusted.exitCode, 60) << untrusted.errors.toStdString();
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("other.jpg"))));
}

TEST_P(WebDavServerTest, ReadOnlyAndFullFoldersRefuse)
{
    ASSERT_TRUE(server.putFile(QStringLiteral("ro/kept.jpg"), kPicture));
    ASSERT_TRUE(server.putFile(QStringLiteral("mine.jpg"), kPicture));

    EXPECT_EQ(put(QStringLiteral("ro/cam.jpg"), kPicture).status, 403);
    EXPECT_EQ(dav({QStringLiteral("--request"), QStringLiteral("DELETE"),
                   server.url(QStringLiteral("ro/kept.jpg"))})
                  .status,
              403);
    EXPECT_EQ(
        dav({QStringLiteral("--request"), QStringLiteral("MKCOL"), server.url(QStringLiteral("ro/new"))})
            .status,
        403);
    EXPECT_EQ(dav({QStringLiteral("--request"), QStringLiteral("MOVE"), QStringLiteral("--header"),
                   QStringLiteral("Destination: ") + server.url(QStringLiteral("ro/mine.jpg")),
                   server.url(QStringLiteral("mine.jpg"))})
                  .status,
              403);
    EXPECT_EQ(dav({QStringLiteral("--request"), QStringLiteral("PROPFIND"), QStringLiteral("--header"),
                   QStringLiteral("Depth: 1"), server.url(QStringLiteral("ro/"))})
                  .status,
              207);
    EXPECT_EQ(dav({QStringLiteral("--head"), server.url(QStringLiteral("ro/kept.jpg"))}).status, 200);

    const CurlResult full = put(QStringLiteral("full/cam.jpg"), kPicture);
    EXPECT_EQ(full.status, 507);
    EXPECT_TRUE(full.body.contains("Insufficient Storage")) << full.body.toStdString();

    EXPECT_TRUE(QFile::exists(server.homeFile(QStringLiteral("ro/kept.jpg"))));
    EXPECT_TRUE(QFile::exists(server.homeFile(QStringLiteral("mine.jpg"))));
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("ro/cam.jpg"))));
    EXPECT_FALSE(QFile::exists(server.homeFile(QStringLiteral("full/cam.jpg"))));
    // The files a test puts there are the server's to replace and remove.
    EXPECT_EQ(put(QStringLiteral("mine.jpg"), "again").status, 204);
}

TEST_P(WebDavServerTest, SlowAndShortFolders)
{
    server.stop();
    WebDavServer::Options options;
    options.slowMs = 1500;
    startServer(options);

    const CurlResult slow = put(QStringLiteral("slow/cam.jpg"), kPicture);
    EXPECT_EQ(slow.status, 201);
    EXPECT_GE(slow.elapsedMs, 1400);
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("slow/cam.jpg"))), kPicture);

    // A client that gives up waits no longer than it chose to.
    const CurlResult gaveUp = put(QStringLiteral("slow/other.jpg"), kPicture,
                                  {QStringLiteral("--max-time"), QStringLiteral("0.5")});
    EXPECT_EQ(gaveUp.exitCode, 28) << gaveUp.errors.toStdString();
    EXPECT_LT(gaveUp.elapsedMs, 1400);

    // Wrong credentials are refused there as everywhere.
    EXPECT_EQ(dav({QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("x"), kPicture),
                   server.url(QStringLiteral("slow/wrong.jpg"))},
                  QStringLiteral("wrong"))
                  .status,
              401);

    EXPECT_EQ(put(QStringLiteral("short/cam.jpg"), kPicture).status, 201);
    const CurlResult head = dav({QStringLiteral("--head"), server.url(QStringLiteral("short/cam.jpg"))});
    EXPECT_EQ(head.header("Content-Length").toInt(), kPicture.size() - 1);
    EXPECT_EQ(fileContent(server.homeFile(QStringLiteral("short/cam.jpg"))), kPicture.chopped(1));
    // Safe replace works there too, so that the size check is what catches the short file.
    EXPECT_EQ(put(QStringLiteral("short/cam.jpg.part"), kPicture).status, 201);
    EXPECT_EQ(dav({QStringLiteral("--request"), QStringLiteral("MOVE"), QStringLiteral("--header"),
                   QStringLiteral("Destination: ") + server.url(QStringLiteral("short/cam.jpg")),
                   server.url(QStringLiteral("short/cam.jpg.part"))})
                  .status,
              204);

    // The log names the path the client asked for, not the CGI's.
    const QList<HttpRequestLog::Entry> requests = server.log().waitFor(1, 5000);
    ASSERT_FALSE(requests.isEmpty());
    for (const HttpRequestLog::Entry& entry : requests)
        EXPECT_TRUE(entry.target.startsWith(QStringLiteral("/dav/"))) << entry.target.toStdString();
}

TEST_P(WebDavServerTest, KeptConnectionsShowInTheLog)
{
    ASSERT_TRUE(server.putFile(QStringLiteral("cam.jpg"), kPicture));
    const QString url = server.url(QStringLiteral("cam.jpg"));
    const auto ok = [](const HttpRequestLog::Entry& e) { return e.status == 200; };
    const auto answered = [&ok](const QList<HttpRequestLog::Entry>& entries) {
        return std::count_if(entries.begin(), entries.end(), ok);
    };
    // One curl run with two requests keeps its connection between them (curl's count of new
    // connections is the last transfer's).
    const CurlResult both = dav({QStringLiteral("--head"), url, url});
    EXPECT_EQ(both.status, 200);
    EXPECT_EQ(both.connects, 0);
    const QList<HttpRequestLog::Entry> kept = server.log().waitFor(2, 5000, ok);
    EXPECT_EQ(answered(kept), 2);
    EXPECT_EQ(HttpRequestLog::connections(kept), 1);

    server.stop();
    WebDavServer::Options options;
    options.keepAliveSeconds = 0;
    startServer(options);
    const QString again = server.url(QStringLiteral("cam.jpg"));
    const CurlResult apart = dav({QStringLiteral("--head"), again, again});
    EXPECT_EQ(apart.status, 200) << apart.errors.toStdString();
    EXPECT_GE(apart.connects, 1); // with Digest, one for the challenge and one for the answer
    const QList<HttpRequestLog::Entry> closed = server.log().waitFor(2, 5000, ok);
    EXPECT_EQ(answered(closed), 2);
    EXPECT_EQ(HttpRequestLog::connections(closed), closed.size());
}

TEST_P(WebDavServerTest, StopEndsEveryProcessAndTransfer)
{
    server.stop();
    WebDavServer::Options options;
    options.slowMs = 60000;
    startServer(options);
    const QString url = server.url(QStringLiteral("slow/cam.jpg"));
    // A transfer the server would answer only in a minute, cut short by the server's end.
    ChildProcess transfer;
    ASSERT_TRUE(transfer.start(
        QStringLiteral("curl"),
        {QStringLiteral("--silent"), QString::fromLatin1(GetParam().curlOption), QStringLiteral("--user"),
         WebDavServer::kUser + QLatin1Char(':') + WebDavServer::kPassword, QStringLiteral("--max-time"),
         QStringLiteral("30"), QStringLiteral("--upload-file"),
         fileWith(files, QStringLiteral("upload"), kPicture), url}));
    // Time for the request to reach the CGI, which answers only after a minute.
    QThread::msleep(700);
    QElapsedTimer timer;
    timer.start();
    server.stop();
    transfer.readUntil({}, 10000);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(runCurl({QStringLiteral("--head"), server.url(QString())}).exitCode, 7);
}

INSTANTIATE_TEST_SUITE_P(Auth, WebDavServerTest,
                         ::testing::Values(AuthCase{"Basic", WebDavServer::Auth::Basic, "--basic"},
                                           AuthCase{"Digest", WebDavServer::Auth::Digest, "--digest"}),
                         [](const ::testing::TestParamInfo<AuthCase>& param) {
                             return std::string(param.param.name);
                         });
} // namespace
