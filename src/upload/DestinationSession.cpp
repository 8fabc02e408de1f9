#include "upload/DestinationSession.h"

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
