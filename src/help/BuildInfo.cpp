#include "help/BuildInfo.h"

namespace BuildInfo {
QString programVersion()
{
    return QStringLiteral(VELMORA_VERSION);
}

QString webAddress()
{
    return QStringLiteral(VELMORA_WEB_ADDRESS).trimmed();
}

QString mailAddress()
{
    return QStringLiteral(VELMORA_MAIL_ADDRESS).trimmed();
}
} // namespace BuildInfo
