#include "capture/NetworkCamera.h"

#include <QUrl>

#include <algorithm>

namespace {
bool hasControlCharacters(const QString& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

bool isRtspScheme(const QString& scheme)
{
    return scheme == QLatin1String("rtsp") || scheme == QLatin1String("rtsps") ||
           scheme == QLatin1String("rtspt");
}

bool isHttpScheme(const QString& scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

Failure refused(const QString& sentence)
{
    return Failure::of(Failure::Kind::Invalid, sentence);
}
} // namespace

QString NetworkCamera::identity() const
{
    return QStringLiteral("Network|%1|%2").arg(address, name);
}

QString NetworkCamera::kindText(Kind kind)
{
    switch (kind) {
    case Kind::Rtsp:
        return QStringLiteral("RTSP");
    case Kind::MjpegStream:
        return QStringLiteral("MJPEG");
    case Kind::Snapshot:
        return QStringLiteral("Snapshot");
    }
    return {};
}

std::optional<NetworkCamera::Kind> NetworkCamera::kindFromText(const QString& text)
{
    for (Kind kind : {Kind::Rtsp, Kind::MjpegStream, Kind::Snapshot})
        if (text.trimmed().compare(kindText(kind), Qt::CaseInsensitive) == 0)
            return kind;
    return std::nullopt;
}

NetworkCamera::Kind NetworkCamera::kindOf(const QString& address)
{
    return isRtspScheme(QUrl(address.trimmed()).scheme().toLower()) ? Kind::Rtsp : Kind::MjpegStream;
}

QList<QString> NetworkCamera::kindLabels()
{
    return {QStringLiteral("RTSP stream"), QStringLiteral("HTTP MJPEG stream"),
            QStringLiteral("HTTP snapshot (one JPEG per request)")};
}

Result<NetworkCamera> NetworkCamera::tidy(NetworkCamera camera)
{
    camera.name = camera.name.trimmed();
    camera.address = camera.address.trimmed();
    if (hasControlCharacters(camera.name) || hasControlCharacters(camera.address) ||
        hasControlCharacters(camera.user) || hasControlCharacters(camera.password))
        return refused(
            QStringLiteral("Names, addresses, user names and passwords cannot contain control characters."));
    if (camera.name.isEmpty())
        return refused(QStringLiteral("Please enter a name for the camera."));
    if (camera.address.isEmpty())
        return refused(QStringLiteral("Please enter the camera's address."));
    QUrl url(camera.address, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || !(isRtspScheme(scheme) || isHttpScheme(scheme)))
        return refused(QStringLiteral("The address must start with rtsp://, http:// or https://."));
    if (url.host().isEmpty())
        return refused(QStringLiteral("The address has no host name."));
    if (camera.kind == Kind::Rtsp && !isRtspScheme(scheme))
        return refused(QStringLiteral("An RTSP stream's address starts with rtsp://."));
    if (camera.kind != Kind::Rtsp && !isHttpScheme(scheme))
        return refused(QStringLiteral("An HTTP camera's address starts with http:// or https://."));
    // Credentials written into the address go where they are kept apart from it.
    if (!url.userInfo().isEmpty()) {
        if (camera.user.isEmpty())
            camera.user = url.userName(QUrl::FullyDecoded);
        if (camera.password.isEmpty())
            camera.password = url.password(QUrl::FullyDecoded);
        url.setUserInfo(QString());
    }
    camera.address = url.toString(QUrl::FullyEncoded);
    return camera;
}
