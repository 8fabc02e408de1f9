#include "upload/DestinationSessions.h"

#include "settings/Account.h"
#include "upload/FtpSession.h"
#include "upload/S3Session.h"
#include "upload/SftpSession.h"
#include "upload/WebDavSession.h"

#include <curl/curl.h>

std::unique_ptr<DestinationSession> DestinationSessions::create(const FtpTimeouts& timeouts,
                                                                const DestinationSession::Settings& settings)
{
    switch (settings.protocol) {
    case Account::Protocol::Sftp:
        return std::make_unique<SftpSession>(timeouts, settings);
    case Account::Protocol::WebDav:
        return std::make_unique<WebDavSession>(timeouts, settings);
    case Account::Protocol::S3:
        return std::make_unique<S3Session>(timeouts, settings);
    case Account::Protocol::Ftps:
        return std::make_unique<FtpSession>(timeouts, settings, FtpSession::Security::ExplicitTls);
    case Account::Protocol::Ftp:
        break;
    }
    return std::make_unique<FtpSession>(timeouts, settings, FtpSession::Security::Plain);
}

DestinationSession::Settings DestinationSessions::settingsOf(const Account& account)
{
    DestinationSession::Settings settings;
    settings.protocol = account.protocol;
    settings.verifyPeer = account.verifyCertificate;
    switch (account.protocol) {
    case Account::Protocol::Ftp:
    case Account::Protocol::Ftps:
        settings.passive = account.passive;
        break;
    case Account::Protocol::Sftp:
        settings.keyFile = account.keyFile;
        break;
    case Account::Protocol::WebDav:
        break;
    case Account::Protocol::S3:
        settings.bucket = account.bucket;
        settings.region = account.region;
        settings.pathStyle = account.pathStyle;
        settings.publicRead = account.publicRead;
        break;
    }
    return settings;
}

bool DestinationSessions::setUpNetwork()
{
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}

void DestinationSessions::releaseNetwork()
{
    curl_global_cleanup();
}
