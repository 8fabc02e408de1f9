#include "settings/DestinationName.h"

#include <algorithm>

namespace DestinationName {
QString problem(const QString& name)
{
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("contains \"/\" or \"\\\"");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("is \"%1\"").arg(name);
    if (std::any_of(name.begin(), name.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return QStringLiteral("contains a line break or another control character");
    return {};
}
} // namespace DestinationName
