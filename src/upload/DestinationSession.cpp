#include "upload/DestinationSession.h"

#include "common/OutsideText.h"

QString DestinationSession::shownHost(const QString& host)
{
    // The login part ends at the last "@" before the path; it starts after the scheme, if any.
    const qsizetype schemeEnd = host.indexOf(QStringLiteral("://"));
    const qsizetype start = schemeEnd < 0 ? 0 : schemeEnd + 3;
    qsizetype end = host.indexOf(QLatin1Char('/'), start);
    if (end < 0)
        end = host.size();
    const qsizetype at = host.lastIndexOf(QLatin1Char('@'), end - 1);
    if (at < start || end == 0)
        return OutsideText::line(host);
    return OutsideText::line(host.left(start) + host.mid(at + 1));
}

Failure DestinationSession::failureOf(Error error, const QString& sentence)
{
    Failure::Kind kind = Failure::Kind::Internal;
    switch (error) {
    case Error::FileNotFound:
        kind = Failure::Kind::NotFound;
        break;
    case Error::InvalidParameter:
    case Error::InvalidUrl:
        kind = Failure::Kind::Invalid;
        break;
    case Error::Timeout:
        kind = Failure::Kind::TimedOut;
        break;
    case Error::ServerReply:
    case Error::Refused:
    case Error::CertificateRefused:
    case Error::HostKeyRefused:
        kind = Failure::Kind::Refused;
        break;
    case Error::NameNotResolved:
    case Error::CannotConnect:
    case Error::NotConnected:
        kind = Failure::Kind::Unreachable;
        break;
    case Error::ConnectionAborted:
        kind = Failure::Kind::Io;
        break;
    case Error::Cancelled:
        kind = Failure::Kind::Cancelled;
        break;
    case Error::None:
    case Error::Internal:
        break;
    }
    return Failure::of(kind, sentence, static_cast<int>(error));
}
