#pragma once

#include <QString>

// A certificate authority made for one test and a server certificate it signed for the loopback
// names (127.0.0.1, ::1, localhost and webcam.localhost, the test bucket's virtual-hosted name:
// clients honour no wildcard over a single label), so that a client verifies the server the way it
// verifies a real one, by trusting caFile() alone. EC P-256 keys, which openssl makes in
// milliseconds.
class TestCertificates final
{
public:
    // Makes the files in folder (which must exist); false with error() when openssl failed.
    bool make(const QString& folder);

    QString caFile() const { return m_folder + QStringLiteral("/ca.crt"); }
    QString certificateFile() const { return m_folder + QStringLiteral("/server.crt"); }
    QString keyFile() const { return m_folder + QStringLiteral("/server.key"); }
    // Certificate and key in one PEM file, as vsftpd and Python's ssl module take them.
    QString pemFile() const { return m_folder + QStringLiteral("/server.pem"); }
    const QString& error() const { return m_error; }

private:
    bool openssl(const QStringList& arguments);

    QString m_folder;
    QString m_error;
};
