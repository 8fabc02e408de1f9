#pragma once

#include "upload/CurlSession.h"

// FTP, plain (active or passive) or with explicit TLS (FTPS). Sizes come from SIZE, else the size
// fact of MLST, else a LIST of the one file; renames are RNFR/RNTO, removals DELE.
class FtpSession final : public CurlSession
{
public:
    enum class Security { Plain, ExplicitTls };

    FtpSession(const FtpTimeouts& timeouts, const Settings& settings, Security security);
    ~FtpSession() override;
    Q_DISABLE_COPY_MOVE(FtpSession)

    Result<void> remove(const QString& remotePath) override;
    Result<void> rename(const QString& fromPath, const QString& toPath) override;
    bool renamesOntoFreeNamesOnly() const override { return true; }

protected:
    QByteArray scheme() const override { return "ftp"; }
    int defaultPort() const override { return 21; }
    bool countsConnectionsByLogin() const override { return true; }
    void configure(void* curl, const QString& user, const QString& password) override;
    QByteArray loginFolderUrl() const override { return baseUrl(); }
    Result<std::optional<qint64>> sizeOtherwise(const QString& remotePath) override;

private:
    // The size fact of MLST, or what a LIST of that one file shows.
    std::optional<qint64> mlstSize(const QString& remotePath);
    std::optional<qint64> listedSize(const QString& remotePath);
    static size_t onListing(char* data, size_t size, size_t count, void* self);

    Security m_security;
    QByteArray m_listing; // what a LIST sent on its data connection
};
