#include "capture/CameraMemory.h"

#include "options/ProgramOptions.h"
#include "settings/Regedit.h"

#include <QRegularExpression>
#include <QUrl>

namespace {
std::optional<int> wholeNumber(const std::optional<QString>& text)
{
    bool isNumber = false;
    const int value = text.value_or(QString()).trimmed().toInt(&isNumber);
    return isNumber ? std::optional(value) : std::nullopt;
}
} // namespace

CameraMemory::CameraMemory(Regedit& store) : m_store(store) {}

QString CameraMemory::formatText(const VideoFormat& format)
{
    return QStringLiteral("%1 %2x%3 %4/%5")
        .arg(format.mediaType)
        .arg(format.width)
        .arg(format.height)
        .arg(format.fpsNumerator)
        .arg(format.fpsDenominator);
}

std::optional<VideoFormat> CameraMemory::formatFromText(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*(video/x-raw|image/jpeg)\s+(\d{1,5})x(\d{1,5})\s+(\d{1,6})/(\d{1,6})\s*$)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    VideoFormat format;
    format.mediaType = match.captured(1);
    format.width = match.captured(2).toInt();
    format.height = match.captured(3).toInt();
    format.fpsNumerator = match.captured(4).toInt();
    format.fpsDenominator = match.captured(5).toInt();
    if (format.width <= 0 || format.height <= 0 || format.fpsDenominator <= 0)
        return std::nullopt;
    return format;
}

QString CameraMemory::controlsText(const QMap<QString, int>& controls)
{
    QStringList pairs;
    for (auto it = controls.cbegin(); it != controls.cend(); ++it)
        pairs << QString::fromLatin1(QUrl::toPercentEncoding(it.key())) + QLatin1Char('=') +
                     QString::number(it.value());
    return pairs.join(QLatin1Char('&'));
}

QMap<QString, int> CameraMemory::controlsFromText(const QString& text)
{
    QMap<QString, int> controls;
    for (const QString& pair : text.split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        bool isNumber = false;
        const int value = pair.mid(equals + 1).toInt(&isNumber);
        if (isNumber)
            controls.insert(QUrl::fromPercentEncoding(pair.left(equals).toLatin1()), value);
    }
    return controls;
}

CameraChoice CameraMemory::load()
{
    auto text = [this](const QString& name) {
        return m_store.GetString(HKEY_LOCAL_MACHINE, ProgramOptions::kProductKey, name);
    };
    CameraChoice choice;
    choice.identity = text(kIdentity).value_or(QString());
    choice.name = text(kCamera).value_or(QString());
    choice.format = formatFromText(text(kFormat).value_or(QString()));
    choice.controls = controlsFromText(text(kControls).value_or(QString()));
    if (const auto quality = wholeNumber(text(kMovieQuality));
        quality && *quality >= MovieCompression::kMinQuality && *quality <= MovieCompression::kMaxQuality)
        choice.compression.quality = *quality;
    if (const auto rate = wholeNumber(text(kAudioRate)); rate && AudioFormat::rates().contains(*rate))
        choice.audio.rate = *rate;
    if (const auto channels = wholeNumber(text(kAudioChannels));
        channels && (*channels == 1 || *channels == 2))
        choice.audio.channels = *channels;
    return choice;
}

void CameraMemory::save(const CameraChoice& choice)
{
    const QString& key = ProgramOptions::kProductKey;
    auto put = [this, &key](const QString& name, const QString& value) {
        if (m_store.GetString(HKEY_LOCAL_MACHINE, key, name) != value)
            m_store.SaveString(HKEY_LOCAL_MACHINE, key, name, value);
    };
    if (!choice.identity.isEmpty()) {
        put(kIdentity, choice.identity);
        put(kCamera, choice.name);
        put(kFormat, choice.format ? formatText(*choice.format) : QString());
        put(kControls, controlsText(choice.controls));
    }
    put(kMovieQuality, QString::number(choice.compression.quality));
    put(kAudioRate, QString::number(choice.audio.rate));
    put(kAudioChannels, QString::number(choice.audio.channels));
}

QString CameraMemory::networkValue(int number, const QString& field)
{
    const QString name = QStringLiteral("Network Camera%1").arg(number);
    return field.isEmpty() ? name : name + QLatin1Char(' ') + field;
}

QList<NetworkCamera> CameraMemory::loadNetworkCameras()
{
    const QString& key = ProgramOptions::kProductKey;
    auto text = [&](const QString& name) {
        return m_store.GetString(HKEY_LOCAL_MACHINE, key, name).value_or(QString());
    };
    QList<NetworkCamera> cameras;
    for (int number = 1;; ++number) {
        const std::optional<QString> name = m_store.GetString(HKEY_LOCAL_MACHINE, key, networkValue(number));
        if (!name || name->isEmpty())
            break;
        NetworkCamera camera;
        camera.name = *name;
        camera.address = text(networkValue(number, QStringLiteral("Address")));
        camera.kind = NetworkCamera::kindFromText(text(networkValue(number, QStringLiteral("Type"))))
                          .value_or(NetworkCamera::kindOf(camera.address));
        camera.user = text(networkValue(number, QStringLiteral("User")));
        camera.password = text(networkValue(number, QStringLiteral("Password")));
        cameras.append(camera);
    }
    return cameras;
}

void CameraMemory::saveNetworkCameras(const QList<NetworkCamera>& cameras)
{
    const QString& key = ProgramOptions::kProductKey;
    auto put = [&](const QString& name, const QString& value) {
        const std::optional<QString> stored = m_store.GetString(HKEY_LOCAL_MACHINE, key, name);
        if (value.isEmpty() && stored)
            m_store.DeleteValue(HKEY_LOCAL_MACHINE, key, name);
        else if (!value.isEmpty() && stored != value)
            m_store.SaveString(HKEY_LOCAL_MACHINE, key, name, value);
    };
    const QStringList fields = {QStringLiteral("Address"), QStringLiteral("Type"), QStringLiteral("User"),
                                QStringLiteral("Password")};
    for (int i = 0; i < cameras.size(); ++i) {
        const NetworkCamera& camera = cameras[i];
        const QStringList values = {camera.address, NetworkCamera::kindText(camera.kind), camera.user,
                                    camera.password};
        for (int f = 0; f < fields.size(); ++f)
            put(networkValue(i + 1, fields[f]), values[f]);
        put(networkValue(i + 1), camera.name);
    }
    // What is left of cameras behind the list's new end.
    for (int number = int(cameras.size()) + 1;
         m_store.GetString(HKEY_LOCAL_MACHINE, key, networkValue(number)).has_value(); ++number) {
        put(networkValue(number), QString());
        for (const QString& field : fields)
            put(networkValue(number, field), QString());
    }
}
