#pragma once

#include "upload/HttpSession.h"

#include <QList>

#include <chrono>

// WebDAV over libcurl's HTTP: the host field is the base address ("https://cloud.example.net/
// remote.php/dav/files/anna/"), the login is Basic or Digest, whichever the server asks for, and
// a PROPFIND on the base checks it. Files go up with PUT (with their content type and
// "Cache-Control: no-cache", so no cache keeps an old picture), sizes come from HEAD, folders
// are listed with PROPFIND, removed files with DELETE and renamed ones with MOVE onto the target.
//
// Paths: the base address is the root of everything the session reaches. A remote path names a
// file below it, with or without a leading "/" ("/www/cam.jpg" and "www/cam.jpg" are both the base
// + "www/cam.jpg"): an account's folder is a folder below its address, and nothing above the
// address can be named ("." and ".." are refused). Each segment is percent-encoded.
//
// Every file travels byte for byte (HTTP has no text transfers).
//
// lastReply() is the status line without its version ("507 Insufficient Storage"); every status
// that is not a success fails the call with Error::ServerReply. Folders are not created: a PUT
// into a missing folder fails (409), as an FTP upload does.
class WebDavSession final : public HttpSession
{
public:
    WebDavSession(const FtpTimeouts& timeouts, const Settings& settings);
    ~WebDavSession() override;
    Q_DISABLE_COPY_MOVE(WebDavSession)

    Result<void> put(const QString& localPath, const QString& remotePath, Transfer transfer,
                     const QString& contentType) override;
    Result<QStringList> list(const QString& remoteFolder) override;
    Result<void> remove(const QString& remotePath) override;
    // MOVE with "Overwrite: T": the server replaces the target itself.
    Result<void> rename(const QString& fromPath, const QString& toPath) override;
    bool renamesOntoFreeNamesOnly() const override { return false; }

    // The names of the files (not the folders) a PROPFIND multistatus reply lists, decoded and
    // without their folder. A reply that is no such XML, or declares a document type (entities
    // could make a small reply huge), gives a failure with a sentence.
    static Result<QStringList> namesIn(const QByteArray& multistatus);

    // A folder listing larger than this is not read.
    static constexpr qsizetype kMaxListing = 16 * 1024 * 1024;

protected:
    std::optional<QByteArray> baseUrlFor(const QString& host) override;
    bool logIn() override;
    void configure(void* curl, const QString& user, const QString& password) override;
    QByteArray loginFolderUrl() const override { return baseUrl(); }
    QString refusedPathWords(bool folder) const override;
    QString refusal(int code, const QByteArray& answer, const QString& remotePath) override;

private:
    QString m_user; // for the sentence of a refused login
};
