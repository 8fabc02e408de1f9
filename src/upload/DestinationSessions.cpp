#include "upload/DestinationSessions.h"

#include "settings/Account.h"
#include "upload/FtpSession.h"
#include "upload/SftpSession.h"

std::unique_ptr<DestinationSession> DestinationSessions::create(const FtpTimeouts& timeouts,
                                                                const DestinationSession::Settings& settings)
{
    switch (settings.protocol) {
    case Account::Protocol::Sftp:
        return std::make_unique<SftpSession>(timeouts, settings);
    case Account::Protocol::Ftp:
    case Account::Protocol::Ftps:
        break;
    }
    return std::make_unique<FtpSession>(timeouts, settings);
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
    }
    return settings;
}
