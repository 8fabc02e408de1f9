#pragma once

#include "ChildProcess.h"
#include "HttpRequestLog.h"
#include "TestCertificates.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real S3-compatible object store on the loopback interface for tests: s3rver (npm, installed
// by scripts/setup.sh into tests/support/s3) keeps the objects in a fresh folder, behind the tests'
// own front (s3_front.py) that checks every request's Signature V4 with botocore's signer for
// access key kAccessKey, secret kSecretKey and region kRegion, as S3 does, before it passes the
// request on: s3rver alone takes any V4 signature. A wrong secret, a payload hash that does not
// match the body and an unsigned request get 403 SignatureDoesNotMatch. Bucket kBucket exists from
// the start; addressing path-style (endpoint()/webcam/key) or virtual-hosted
// (virtualHostEndpoint()/key). Keys below these prefixes misbehave:
//   ro/     PUT and DELETE get 403 AccessDenied
//   full/   PUT gets 507 Insufficient Storage
//   slow/   every answer comes Options::slowMs late
//   short/  a PUT stores all but the last byte, yet gets 200 and the ETag of the whole body
// Both processes are killed with the object.
class S3Server final
{
public:
    struct Options
    {
        bool https = false;        // TLS with a certificate of a CA made for the test: caFile()
        int slowMs = 20000;        // how late answers for keys below slow/ come
        int keepAliveSeconds = 20; // how long an idle connection is kept
    };

    static inline const QString kAccessKey = QStringLiteral("VELMORAKEY");
    static inline const QString kSecretKey = QStringLiteral("velmora-secret");
    static inline const QString kRegion = QStringLiteral("us-east-1");
    static inline const QString kBucket = QStringLiteral("webcam");

    S3Server() = default;
    ~S3Server();
    S3Server(const S3Server&) = delete;
    S3Server& operator=(const S3Server&) = delete;

    // Starts the store and the front and waits (ten seconds at most each) until they listen.
    bool start(const Options& options);
    bool start();
    void stop();
    bool isRunning() { return m_store.isRunning() && m_front.isRunning(); }

    // "http://127.0.0.1:<port>" (or https): the endpoint an account names.
    QString endpoint() const;
    // "http://webcam.localhost:<port>": the bucket's virtual-hosted address.
    QString virtualHostEndpoint() const;
    // The path-style address of an object.
    QString objectUrl(const QString& key) const
    {
        return endpoint() + QLatin1Char('/') + kBucket + QLatin1Char('/') + key;
    }
    int port() const { return m_port; }
    QString caFile() const { return m_certificates.caFile(); }

    // The store itself, past the front (not in requests()): the bytes of an object (empty when
    // there is none), whether it exists, every key in the bucket (sorted), and a new object.
    QByteArray object(const QString& key) const;
    bool hasObject(const QString& key) const;
    QStringList keys() const;
    bool putObject(const QString& key, const QByteArray& content, QString* error = nullptr) const;

    // Every request the front received since the start, in order. Headers noted: Content-Type,
    // Cache-Control, Content-Length, x-amz-acl, x-amz-content-sha256; refused requests carry
    // error=<S3 error code>.
    QList<HttpRequestLog::Entry> requests() const { return log().entries(); }
    HttpRequestLog log() const { return HttpRequestLog(m_scratch.filePath(QStringLiteral("requests.log"))); }
    const QString& startError() const { return m_startError; }

private:
    QString objectFile(const QString& key) const;

    QTemporaryDir m_data;
    QTemporaryDir m_scratch;
    ChildProcess m_store;
    ChildProcess m_front;
    TestCertificates m_certificates;
    Options m_options;
    int m_port = 0;
    int m_storePort = 0;
    QString m_startError;
};
