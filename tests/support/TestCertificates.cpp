#include "TestCertificates.h"

#include "ChildProcess.h"

#include <QFile>
#include <QStringList>

bool TestCertificates::openssl(const QStringList& arguments)
{
    QByteArray output;
    if (ChildProcess::run(QStringLiteral("openssl"), arguments, 20000, &output) == 0)
        return true;
    m_error =
        QStringLiteral("openssl %1: %2").arg(arguments.value(0), QString::fromLocal8Bit(output).trimmed());
    return false;
}

bool TestCertificates::make(const QString& folder)
{
    m_folder = folder;
    m_error.clear();
    const QString caKey = folder + QStringLiteral("/ca.key");
    const QString request = folder + QStringLiteral("/server.csr");
    const QString extensions = folder + QStringLiteral("/server.ext");
    QFile extensionFile(extensions);
    if (!extensionFile.open(QIODevice::WriteOnly) ||
        extensionFile.write("basicConstraints=critical,CA:FALSE\n"
                            "keyUsage=critical,digitalSignature,keyEncipherment\n"
                            "extendedKeyUsage=serverAuth\n"
                            "subjectAltName=IP:127.0.0.1,IP:::1,DNS:localhost,DNS:webcam.localhost\n") <= 0) {
        m_error = QStringLiteral("cannot write ") + extensions;
        return false;
    }
    extensionFile.close();
    const QStringList ecKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    if (!openssl(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), caKey, QStringLiteral("-out"), caFile(),
                             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                             QStringLiteral("/CN=Velmora test CA"), QStringLiteral("-addext"),
                             QStringLiteral("basicConstraints=critical,CA:TRUE"), QStringLiteral("-addext"),
                             QStringLiteral("keyUsage=critical,keyCertSign,cRLSign")}) ||
        !openssl(QStringList{QStringLiteral("req")} + ecKey +
                 QStringList{QStringLiteral("-keyout"), keyFile(), QStringLiteral("-out"), request,
                             QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1")}) ||
        !openssl(QStringList{QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                             QStringLiteral("-CA"), caFile(), QStringLiteral("-CAkey"), caKey,
                             QStringLiteral("-CAcreateserial"), QStringLiteral("-days"), QStringLiteral("2"),
                             QStringLiteral("-extfile"), extensions, QStringLiteral("-out"),
                             certificateFile()}))
        return false;

    QFile certificate(certificateFile());
    QFile key(keyFile());
    QFile pem(pemFile());
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly) ||
        !pem.open(QIODevice::WriteOnly) || pem.write(certificate.readAll() + key.readAll()) <= 0) {
        m_error = QStringLiteral("cannot write ") + pemFile();
        return false;
    }
    return true;
}
