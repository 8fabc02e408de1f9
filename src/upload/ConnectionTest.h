#pragma once

#include "upload/DestinationSession.h"

#include <QString>

struct Account;

// The "&Test" of the Upload Settings window: log in with an account's settings, write a small
// file into its remote folder and remove it again, and say in a few lines what worked.
class ConnectionTest final
{
public:
    struct Report
    {
        bool passed = false;
        QString text; // one line per step, with the server's reply where there was one
        // SFTP: the server's host key is not known yet; the window may offer to trust it.
        bool unknownHostKey = false;
        QString hostKeyFingerprint;
    };

    static inline const QString kProbeName = QStringLiteral(".velmora-test.tmp");

    // The connection the test uses. addHostKey: a fingerprint the user agreed to trust (SFTP).
    // knownHostsFile: empty for ~/.ssh/known_hosts.
    static DestinationSession::Settings settingsFor(const Account& account, const QString& addHostKey = {},
                                                    const QString& knownHostsFile = {});
    // Blocking, on a session made with settingsFor(); another thread may cancel the session meanwhile.
    static Report run(DestinationSession& session, const Account& account);
};
