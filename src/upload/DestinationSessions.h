#pragma once

#include "upload/DestinationSession.h"
#include "upload/FtpTimeouts.h"

#include <memory>

struct Account;

// The one place that knows the protocols: which session serves an account's protocol, and which
// of the account's connection values apply to it.
class DestinationSessions final
{
public:
    DestinationSessions() = delete;

    // A session, not yet connected, for the protocol the settings name.
    static std::unique_ptr<DestinationSession> create(const FtpTimeouts& timeouts,
                                                      const DestinationSession::Settings& settings);
    // The connection an account asks for: passive only for FTP and FTPS, the certificate check
    // for FTPS, WebDAV and S3 (where it applies to https:// addresses), the key file only for SFTP,
    // the bucket, region, addressing and ACL only for S3.
    static DestinationSession::Settings settingsOf(const Account& account);

    // The network library every session uses: set up before the first session (false when it
    // cannot be), and released once for each set-up that worked.
    static bool setUpNetwork();
    static void releaseNetwork();
};
