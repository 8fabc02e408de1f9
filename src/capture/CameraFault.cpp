#include "capture/CameraFault.h"

#include "capture/GstPtr.h"

#include <array>
#include <utility>

namespace {
constexpr const char* kDetailsName = "velmora-camera-fault";

// The meanings of the statuses cameras answer with; a camera's own phrase can say anything.
constexpr std::array<std::pair<long, const char*>, 22> kStatusMeanings{{
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {304, "Not Modified"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {408, "Request Timeout"},
    {410, "Gone"},
    {429, "Too Many Requests"},
    {451, "Unavailable For Legal Reasons"},
    {453, "Not Enough Bandwidth"},
    {454, "Session Not Found"},
    {461, "Unsupported Transport"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
}};
constexpr int kMaxPhrase = 40;

QString printable(const QByteArray& text)
{
    QString out;
    for (const char c : text.trimmed()) {
        if (out.size() >= kMaxPhrase)
            break;
        if (c >= 0x20 && c < 0x7f)
            out += QLatin1Char(c);
    }
    return out.trimmed();
}
} // namespace

QString CameraFault::sentence(const QString& camera, bool withLogin) const
{
    return sentenceAbout(QStringLiteral("the camera \"%1\"").arg(camera), withLogin);
}

QString CameraFault::sentenceAbout(const QString& subject, bool withLogin) const
{
    const QString suffix = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
    switch (kind) {
    case Kind::HttpStatus:
        return QStringLiteral("%1 answered %2").arg(subject, detail);
    case Kind::NotAPicture:
        return (detail.startsWith(QLatin1String("image/"))
                    ? QStringLiteral("the answer of %1 is not a JPEG picture%2")
                    : QStringLiteral("the answer of %1 is not a picture%2"))
            .arg(subject, suffix);
    case Kind::TooLarge:
        return QStringLiteral("the picture of %1 is too large%2").arg(subject, suffix);
    case Kind::LoginRefused:
        return (withLogin ? QStringLiteral("%1 refused the user name or password")
                          : QStringLiteral("%1 asks for a user name and password"))
            .arg(subject);
    case Kind::NoAnswer:
        return QStringLiteral("%1 does not answer%2").arg(subject, suffix);
    case Kind::Unreachable:
        return QStringLiteral("%1 cannot be reached%2").arg(subject, suffix);
    case Kind::Undecodable:
        return QStringLiteral("%1 sent a picture that cannot be decoded").arg(subject);
    case Kind::NoDecoder:
        return QStringLiteral("%1 sends video that no installed decoder reads%2").arg(subject, suffix);
    }
    return QStringLiteral("%1 failed").arg(subject);
}

void CameraFault::post(GstElement* element) const
{
    const QByteArray detailText = detail.toUtf8();
    GstStructure* details = gst_structure_new(kDetailsName, "kind", G_TYPE_INT, int(kind), "detail",
                                              G_TYPE_STRING, detailText.constData(), nullptr);
    const bool stream = kind == Kind::NotAPicture || kind == Kind::TooLarge || kind == Kind::Undecodable ||
                        kind == Kind::NoDecoder;
    QString words = sentenceAbout(QStringLiteral("the camera"));
    words[0] = words[0].toUpper();
    const QByteArray text = words.toUtf8();
    // The element's bus takes the texts and the details.
    gst_element_message_full_with_details(
        element, GST_MESSAGE_ERROR, stream ? GST_STREAM_ERROR : GST_RESOURCE_ERROR,
        stream ? int(GST_STREAM_ERROR_DECODE) : int(GST_RESOURCE_ERROR_READ), g_strdup(text.constData()),
        nullptr, __FILE__, GST_FUNCTION, __LINE__, details);
}

std::optional<CameraFault> CameraFault::fromMessage(GstMessage* message)
{
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR)
        return std::nullopt;
    const GstStructure* details = nullptr;
    gst_message_parse_error_details(message, &details);
    int kind = 0;
    if (!details || !gst_structure_has_name(details, kDetailsName) ||
        !gst_structure_get_int(details, "kind", &kind) || kind < int(Kind::HttpStatus) ||
        kind > int(Kind::NoDecoder))
        return std::nullopt;
    return CameraFault{Kind(kind), QString::fromUtf8(gst_structure_get_string(details, "detail"))};
}

QString CameraFault::statusText(const char* protocol, long status, const QByteArray& phrase)
{
    for (const auto& [code, meaning] : kStatusMeanings)
        if (code == status)
            return QStringLiteral("%1 %2 (%3)")
                .arg(QLatin1String(protocol))
                .arg(status)
                .arg(QLatin1String(meaning));
    if (const QString own = printable(phrase); !own.isEmpty())
        return QStringLiteral("%1 %2 (%3)").arg(QLatin1String(protocol)).arg(status).arg(own);
    return QStringLiteral("%1 %2").arg(QLatin1String(protocol)).arg(status);
}

QString CameraFault::errorText(GstMessage* message)
{
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    GstPtr<GError> error(raw);
    return error ? QString::fromUtf8(error->message) : QStringLiteral("unknown streaming error");
}

std::optional<CameraFault> CameraFault::fromNetworkMessage(GstMessage* message, NetworkCamera::Kind kind)
{
    using Kind = CameraFault::Kind;
    GError* raw = nullptr;
    gst_message_parse_error(message, &raw, nullptr);
    const GstPtr<GError> error(raw);
    if (!error)
        return std::nullopt;
    if (error->domain == GST_RESOURCE_ERROR) {
        switch (error->code) {
        case GST_RESOURCE_ERROR_NOT_AUTHORIZED:
            return CameraFault{Kind::LoginRefused};
        case GST_RESOURCE_ERROR_NOT_FOUND:
            // The only status an RTSP source reports as itself.
            if (kind == NetworkCamera::Kind::Rtsp)
                return CameraFault{Kind::HttpStatus, CameraFault::statusText("RTSP", 404)};
            return CameraFault{Kind::Unreachable};
        case GST_RESOURCE_ERROR_OPEN_READ:
        case GST_RESOURCE_ERROR_OPEN_WRITE:
        case GST_RESOURCE_ERROR_OPEN_READ_WRITE:
        case GST_RESOURCE_ERROR_READ:
        case GST_RESOURCE_ERROR_WRITE:
        case GST_RESOURCE_ERROR_SEEK:
        case GST_RESOURCE_ERROR_CLOSE:
            return CameraFault{Kind::Unreachable};
        default:
            return std::nullopt;
        }
    }
    if (error->domain == GST_STREAM_ERROR) {
        switch (error->code) {
        case GST_STREAM_ERROR_FAILED:
            return CameraFault{Kind::Unreachable};
        case GST_STREAM_ERROR_CODEC_NOT_FOUND:
        case GST_STREAM_ERROR_TYPE_NOT_FOUND:
            return CameraFault{Kind::NoDecoder};
        case GST_STREAM_ERROR_DECODE:
        case GST_STREAM_ERROR_DEMUX:
        case GST_STREAM_ERROR_FORMAT:
        case GST_STREAM_ERROR_WRONG_TYPE:
            return CameraFault{Kind::Undecodable};
        default:
            return std::nullopt;
        }
    }
    return std::nullopt;
}
