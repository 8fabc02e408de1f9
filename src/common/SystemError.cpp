#include "common/SystemError.h"

#include <cerrno>
#include <cstring>

namespace SystemError {
QString text(int number)
{
    return QString::fromLocal8Bit(std::strerror(number));
}

Failure::Kind kind(int number)
{
    switch (number) {
    case ENOSPC:
    case EDQUOT:
        return Failure::Kind::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
        return Failure::Kind::NoAccess;
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return Failure::Kind::NotFound;
    case EFBIG:
    case ENAMETOOLONG:
        return Failure::Kind::TooLarge;
    case EISDIR:
    case ELOOP:
        return Failure::Kind::Invalid;
    case EBUSY:
        return Failure::Kind::Refused;
    case ETIMEDOUT:
        return Failure::Kind::TimedOut;
    case ENOSYS:
    case EOPNOTSUPP:
        return Failure::Kind::Unsupported;
    case ENOMEM:
        return Failure::Kind::Internal;
    default:
        return Failure::Kind::Io;
    }
}

Failure failure(int number, int code)
{
    return Failure::of(kind(number), text(number), code);
}
} // namespace SystemError
