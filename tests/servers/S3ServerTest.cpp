#include "S3Server.h"
#include "Curl.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
const QByteArray kPicture = QByteArrayLiteral("\xff\xd8\xff\xe0 a picture's bytes for the bucket \xff\xd9");
const QString kEmptyHash = sha256Hex(QByteArray());

// curl signs with Signature V4 (curl 7.88 leaves the payload hash to the caller's header).
QStringList signedBy(const QString& secret, const QString& payloadHash)
{
    return {
        QStringLiteral("--aws-sigv4"), QStringLiteral("aws:amz:") + S3Server::kRegion + QStringLiteral(":s3"),
        QStringLiteral("--user"),      S3Server::kAccessKey + QLatin1Char(':') + secret,
        QStringLiteral("--header"),    QStringLiteral("x-amz-content-sha256: ") + payloadHash};
}

class S3ServerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(server.start()) << server.startError().toStdString(); }

    void restart(const S3Server::Options& options)
    {
        server.stop();
        ASSERT_TRUE(server.start(options)) << server.startError().toStdString();
    }

    CurlResult put(const QString& key, const QByteArray& content, const QStringList& more = {},
                   const QString& endpoint = QString())
    {
        return runCurl(
            signedBy(S3Server::kSecretKey, sha256Hex(content)) + more +
            QStringList{QStringLiteral("--upload-file"), fileWith(files, QStringLiteral("upload"), content),
                        endpoint.isEmpty() ? server.objectUrl(key) : endpoint + QLatin1Char('/') + key});
    }

    CurlResult call(const QStringList& arguments)
    {
        return runCurl(signedBy(S3Server::kSecretKey, kEmptyHash) + arguments);
    }

    S3Server server;
    QTemporaryDir files;
};

TEST_F(S3ServerTest, RightlySignedRequestsReachTheStore)
{
    const CurlResult stored = put(QStringLiteral("cam/cam.jpg"), kPicture,
                                  {QStringLiteral("--header"), QStringLiteral("Content-Type: image/jpeg"),
                                   QStringLiteral("--header"), QStringLiteral("Cache-Control: no-cache"),
                                   QStringLiteral("--header"), QStringLiteral("x-amz-acl: public-read")});
    EXPECT_EQ(stored.status, 200) << stored.body.toStdString();
    const QByteArray md5 = QCryptographicHash::hash(kPicture, QCryptographicHash::Md5).toHex();
    EXPECT_EQ(stored.header("ETag"), '"' + md5 + '"');
    EXPECT_EQ(server.object(QStringLiteral("cam/cam.jpg")), kPicture);

    const CurlResult head = call({QStringLiteral("--head"), server.objectUrl(QStringLiteral("cam/cam.jpg"))});
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.header("Content-Length").toInt(), kPicture.size());
    EXPECT_EQ(head.header("ETag"), '"' + md5 + '"');
    EXPECT_EQ(head.header("Content-Type"), "image/jpeg");
    EXPECT_EQ(head.header("Cache-Control"), "no-cache");

    const CurlResult get = call({server.objectUrl(QStringLiteral("cam/cam.jpg"))});
    EXPECT_EQ(get.status, 200);
    EXPECT_EQ(get.body, kPicture);

    // ListObjectsV2 with a prefix: the other key under a longer name stays out. curl 7.88 signs the
    // query as it stands, so it must already be in S3's canonical form: sorted, "/" as %2F.
    ASSERT_TRUE(server.putObject(QStringLiteral("cam/archive/cam-20240102-0304.jpg"), kPicture));
    ASSERT_TRUE(server.putObject(QStringLiteral("camera-other.jpg"), kPicture));
    const CurlResult list = call({server.endpoint() + QStringLiteral("/webcam?list-type=2&prefix=cam%2F")});
    EXPECT_EQ(list.status, 200) << list.body.toStdString();
    EXPECT_TRUE(list.body.contains("<Key>cam/cam.jpg</Key>")) << list.body.toStdString();
    EXPECT_TRUE(list.body.contains("<Key>cam/archive/cam-20240102-0304.jpg</Key>"))
        << list.body.toStdString();
    EXPECT_FALSE(list.body.contains("camera-other.jpg")) << list.body.toStdString();

    const CurlResult removed = call({QStringLiteral("--request"), QStringLiteral("DELETE"),
                                     server.objectUrl(QStringLiteral("cam/archive/cam-20240102-0304.jpg"))});
    EXPECT_EQ(removed.status, 204);
    EXPECT_EQ(server.keys(),
              QStringList({QStringLiteral("cam/cam.jpg"), QStringLiteral("camera-other.jpg")}));
    EXPECT_EQ(call({QStringLiteral("--head"),
                    server.objectUrl(QStringLiteral("cam/archive/cam-20240102-0304.jpg"))})
                  .status,
              404);

    // The front's log: what the client sent, and nothing of the objects put straight into the store.
    const QList<HttpRequestLog::Entry> requests = server.requests();
    ASSERT_EQ(requests.size(), 6);
    EXPECT_EQ(requests[0].method, QStringLiteral("PUT"));
    EXPECT_EQ(requests[0].target, QStringLiteral("/webcam/cam/cam.jpg"));
    EXPECT_EQ(requests[0].status, 200);
    EXPECT_EQ(requests[0].fields.value(QStringLiteral("x-amz-acl")), QStringLiteral("public-read"));
    EXPECT_EQ(requests[0].fields.value(QStringLiteral("Content-Type")), QStringLiteral("image/jpeg"));
    EXPECT_EQ(requests[0].fields.value(QStringLiteral("Cache-Control")), QStringLiteral("no-cache"));
    for (const HttpRequestLog::Entry& entry : requests)
        EXPECT_FALSE(entry.fields.contains(QStringLiteral("error"))) << entry.target.toStdString();
}

struct WrongSignature
{
    const char* name;
    QString secret;
    bool tamperedHash; // signs (and sends) the hash of other bytes than the body's
    bool unsigned_;
};

void PrintTo(const WrongSignature& row, std::ostream* out)
{
    *out << row.name;
}

class S3SignatureTest : public S3ServerTest, public ::testing::WithParamInterface<WrongSignature>
{
};

TEST_P(S3SignatureTest, WronglySignedRequestsGet403SignatureDoesNotMatch)
{
    ASSERT_TRUE(server.putObject(QStringLiteral("kept.jpg"), kPicture));
    const WrongSignature& row = GetParam();
    const QStringList signing =
        row.unsigned_
            ? QStringList()
            : signedBy(row.secret, row.tamperedHash ? sha256Hex("other bytes") : sha256Hex(kPicture));
    const QString upload = fileWith(files, QStringLiteral("upload"), kPicture);
    const QString emptySigning = row.tamperedHash ? sha256Hex("other bytes") : kEmptyHash;
    const QStringList readSigning = row.unsigned_ ? QStringList() : signedBy(row.secret, emptySigning);

    const QList<CurlResult> results{
        runCurl(signing + QStringList{QStringLiteral("--upload-file"), upload,
                                      server.objectUrl(QStringLiteral("cam.jpg"))}),
        runCurl(readSigning + QStringList{server.objectUrl(QStringLiteral("kept.jpg"))}),
        runCurl(readSigning + QStringList{QStringLiteral("--request"), QStringLiteral("DELETE"),
                                          server.objectUrl(QStringLiteral("kept.jpg"))}),
        runCurl(readSigning +
                QStringList{server.endpoint() + QStringLiteral("/webcam?list-type=2&prefix=k")})};
    for (const CurlResult& result : results) {
        EXPECT_EQ(result.status, 403);
        EXPECT_TRUE(result.body.contains("<Code>SignatureDoesNotMatch</Code>")) << result.body.toStdString();
    }
    EXPECT_EQ(server.keys(), QStringList{QStringLiteral("kept.jpg")});
    for (const HttpRequestLog::Entry& entry : server.requests())
        EXPECT_EQ(entry.fields.value(QStringLiteral("error")), QStringLiteral("SignatureDoesNotMatch"));
}

INSTANTIATE_TEST_SUITE_P(
    Wrong, S3SignatureTest,
    ::testing::Values(WrongSignature{"WrongSecret", QStringLiteral("not-the-secret"), false, false},
                      WrongSignature{"TamperedPayloadHash", S3Server::kSecretKey, true, false},
                      WrongSignature{"Unsigned", QString(), false, true}),
    [](const ::testing::TestParamInfo<WrongSignature>& param) { return std::string(param.param.name); });

TEST_F(S3ServerTest, OtherSigningMistakesGetS3sAnswers)
{
    struct Case
    {
        QStringList arguments;
        int status;
        QByteArray code;
    };
    const QString upload = fileWith(files, QStringLiteral("upload"), kPicture);
    const QList<Case> cases{
        {{QStringLiteral("--aws-sigv4"), QStringLiteral("aws:amz:us-east-1:s3"), QStringLiteral("--user"),
          QStringLiteral("SOMEONEELSE:") + S3Server::kSecretKey, QStringLiteral("--header"),
          QStringLiteral("x-amz-content-sha256: ") + sha256Hex(kPicture)},
         403,
         "InvalidAccessKeyId"},
        {{QStringLiteral("--aws-sigv4"), QStringLiteral("aws:amz:eu-west-1:s3"), QStringLiteral("--user"),
          S3Server::kAccessKey + QLatin1Char(':') + S3Server::kSecretKey, QStringLiteral("--header"),
          QStringLiteral("x-amz-content-sha256: ") + sha256Hex(kPicture)},
         400,
         "AuthorizationHeaderMalformed"},
        // Without the payload hash header, as curl 7.88 signs when not given one.
        {{QStringLiteral("--aws-sigv4"), QStringLiteral("aws:amz:us-east-1:s3"), QStringLiteral("--user"),
          S3Server::kAccessKey + QLatin1Char(':') + S3Server::kSecretKey},
         400,
         "InvalidRequest"},
    };
    for (const Case& c : cases) {
        const CurlResult result =
            runCurl(c.arguments + QStringList{QStringLiteral("--upload-file"), upload,
                                              server.objectUrl(QStringLiteral("cam.jpg"))});
        EXPECT_EQ(result.status, c.status) << c.code.constData();
        EXPECT_TRUE(result.body.contains("<Code>" + c.code + "</Code>")) << result.body.toStdString();
    }
    EXPECT_TRUE(server.keys().isEmpty());
}

TEST_F(S3ServerTest, VirtualHostedAddressing)
{
    const CurlResult stored = put(QStringLiteral("cam.jpg"), kPicture, {}, server.virtualHostEndpoint());
    EXPECT_EQ(stored.status, 200) << stored.body.toStdString();
    EXPECT_EQ(server.object(QStringLiteral("cam.jpg")), kPicture);
    EXPECT_EQ(
        call({QStringLiteral("--head"), server.virtualHostEndpoint() + QStringLiteral("/cam.jpg")}).status,
        200);
}

TEST_F(S3ServerTest, HttpsWithTheTestCa)
{
    S3Server::Options options;
    options.https = true;
    restart(options);
    ASSERT_TRUE(server.endpoint().startsWith(QStringLiteral("https://127.0.0.1:")));
    const CurlResult trusted =
        put(QStringLiteral("cam.jpg"), kPicture, {QStringLiteral("--cacert"), server.caFile()});
    EXPECT_EQ(trusted.exitCode, 0) << trusted.errors.toStdString();
    EXPECT_EQ(trusted.status, 200);
    const CurlResult virtualHost =
        put(QStringLiteral("vhost.jpg"), kPicture, {QStringLiteral("--cacert"), server.caFile()},
            server.virtualHostEndpoint());
    EXPECT_EQ(virtualHost.exitCode, 0) << virtualHost.errors.toStdString();
    EXPECT_EQ(virtualHost.status, 200);
    const CurlResult untrusted = put(QStringLiteral("other.jpg"), kPicture);
    EXPECT_EQ(untrusted.exitCode, 60) << untrusted.errors.toStdString();
    EXPECT_EQ(server.keys(), QStringList({QStringLiteral("cam.jpg"), QStringLiteral("vhost.jpg")}));
}

TEST_F(S3ServerTest, MisbehavingPrefixes)
{
    S3Server::Options options;
    options.slowMs = 1500;
    restart(options);
    ASSERT_TRUE(server.putObject(QStringLiteral("ro/kept.jpg"), kPicture));

    const CurlResult readOnly = put(QStringLiteral("ro/cam.jpg"), kPicture);
    EXPECT_EQ(readOnly.status, 403);
    EXPECT_TRUE(readOnly.body.contains("<Code>AccessDenied</Code>")) << readOnly.body.toStdString();
    EXPECT_EQ(call({QStringLiteral("--request"), QStringLiteral("DELETE"),
                    server.objectUrl(QStringLiteral("ro/kept.jpg"))})
                  .status,
              403);

    const CurlResult full = put(QStringLiteral("full/cam.jpg"), kPicture);
    EXPECT_EQ(full.status, 507);

    const CurlResult shortened = put(QStringLiteral("short/cam.jpg"), kPicture);
    EXPECT_EQ(shortened.status, 200);
    const QByteArray md5 = QCryptographicHash::hash(kPicture, QCryptographicHash::Md5).toHex();
    EXPECT_EQ(shortened.header("ETag"), '"' + md5 + '"');
    const CurlResult head =
        call({QStringLiteral("--head"), server.objectUrl(QStringLiteral("short/cam.jpg"))});
    EXPECT_EQ(head.header("Content-Length").toInt(), kPicture.size() - 1);
    EXPECT_NE(head.header("ETag"), '"' + md5 + '"');

    const CurlResult slow = put(QStringLiteral("slow/cam.jpg"), kPicture);
    EXPECT_EQ(slow.status, 200);
    EXPECT_GE(slow.elapsedMs, 1400);
    const CurlResult gaveUp = put(QStringLiteral("slow/other.jpg"), kPicture,
                                  {QStringLiteral("--max-time"), QStringLiteral("0.5")});
    EXPECT_EQ(gaveUp.exitCode, 28);

    EXPECT_EQ(server.keys(), QStringList({QStringLiteral("ro/kept.jpg"), QStringLiteral("short/cam.jpg"),
                                          QStringLiteral("slow/cam.jpg")}));
}

TEST_F(S3ServerTest, KeptConnectionsShowInTheLog)
{
    const QString url = server.objectUrl(QStringLiteral("cam.jpg"));
    ASSERT_TRUE(server.putObject(QStringLiteral("cam.jpg"), kPicture));
    const CurlResult both = call({QStringLiteral("--head"), url, url});
    EXPECT_EQ(both.status, 200);
    EXPECT_EQ(both.connects, 0); // curl's count of the last transfer's new connections
    const QList<HttpRequestLog::Entry> requests = server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].reuse, 0);
    EXPECT_EQ(requests[1].reuse, 1);
}
} // namespace
