#pragma once

#include "upload/HttpSession.h"

#include <QList>

#include <algorithm>
#include <chrono>

// S3-compatible object storage over libcurl's HTTP: the host field is the endpoint
// ("https://s3.eu-central-1.amazonaws.com", or any compatible http(s) address; without a scheme
// https), the user the access key id and the password the secret key. Every request is signed with
// Signature V4 for the settings' region by libcurl; the payload hash is ours (the SHA-256 of each
// body), so the server checks the bytes it got. The bucket sits in the path
// (endpoint/bucket/key) or, virtual-hosted, in the host name (bucket.endpoint/key).
//
// A listing of the bucket with one key at most checks the login. Files go up with PUT (their
// content type, "Cache-Control: no-cache", and "x-amz-acl: public-read" where the account wants
// it), sizes come from HEAD, folders are listed with ListObjectsV2 (the folder as prefix, page
// after page), removed with DELETE; a rename is a copy and a DELETE of the original, as S3 has no
// rename. A PUT replaces an object all at once, so "Safe replace" needs no rename (putIsAtomic).
//
// Paths: keys below the bucket; a leading "/" changes nothing, "." and ".." are refused. Folders
// are only prefixes of keys, so a put never fails for a missing folder.
//
// lastReply() is the status line without its version, and S3's error code and message from the
// answer's body on a second line ("403 Forbidden", "SignatureDoesNotMatch: The request signature
// ..."); every status that is not a success fails the call with Error::ServerReply. The secret key
// is only ever handed to libcurl's signer.
class S3Session final : public HttpSession
{
public:
    S3Session(const FtpTimeouts& timeouts, const Settings& settings);
    ~S3Session() override;
    Q_DISABLE_COPY_MOVE(S3Session)

    Result<void> connect(const QString& host, const QString& user, const QString& password) override;
    Result<void> put(const QString& localPath, const QString& remotePath, Transfer transfer,
                     const QString& contentType) override;
    Result<QStringList> list(const QString& remoteFolder) override;
    Result<void> remove(const QString& remotePath) override;
    // A server-side copy onto the target (which it replaces), then the original removed.
    Result<void> rename(const QString& fromPath, const QString& toPath) override;
    bool renamesOntoFreeNamesOnly() const override { return false; }
    bool putIsAtomic() const override { return true; }

    // How many keys one listing request asks for (S3 answers at most 1000).
    void setListPageSize(int keys) { m_pageSize = std::clamp(keys, 1, 1000); }

    // One page of a ListObjectsV2 answer: the file names directly below the prefix, the token of
    // the next page (empty when this one is the last). A reply that is no such XML, or declares a
    // document type, gives a failure with a sentence.
    struct Page
    {
        QStringList names;
        QString nextToken;
    };
    static Result<Page> pageIn(const QByteArray& listing, const QString& prefix);

    // A listing (all its pages together) larger than this is not read.
    static constexpr qsizetype kMaxListing = 16 * 1024 * 1024;

protected:
    std::optional<QByteArray> baseUrlFor(const QString& host) override;
    bool logIn() override;
    void configure(void* curl, const QString& user, const QString& password) override;
    QByteArray loginFolderUrl() const override { return m_bucketUrl; }
    // Status lines as HttpSession keeps them, and the ETag of each answer.
    void takeReplyLine(const QByteArray& line) override;
    // The payload hash of an empty body, which every request but a put signs.
    QList<QByteArray> commonHeaders() const override;
    QString refusedPathWords(bool folder) const override;
    // S3's error code and message from the answer's body go into the reply.
    QString refusal(int code, const QByteArray& answer, const QString& remotePath) override;

private:
    // The key of a remote path: without a leading "/" and empty segments.
    static QString keyOf(const QString& remotePath);
    QByteArray m_bucketUrl; // the bucket itself, for listings
    QString m_accessKey;    // for the sentence of a refused login
    QByteArray m_etag;      // the ETag header of the last answer
    int m_pageSize = 1000;
};
