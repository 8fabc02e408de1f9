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

QString CameraMemory::numberedValue(const QString& prefix, int number, const QString& field)
{
    const QString name = prefix + QString::number(number);
    return field.isEmpty() ? name : name + QLatin1Char(' ') + field;
}

QList<QStringList> CameraMemory::loadList(const QString& prefix, const QStringList& fields)
{
    const QString& key = ProgramOptions::kProductKey;
    QList<QStringList> rows;
    for (int number = 1;; ++number) {
        const std::optional<QString> head =
            m_store.GetString(HKEY_LOCAL_MACHINE, key, numberedValue(prefix, number));
        if (!head || head->isEmpty())
            break;
        QStringList row{*head};
        for (const QString& field : fields)
            row << m_store.GetString(HKEY_LOCAL_MACHINE, key, numberedValue(prefix, number, field))
                       .value_or(QString());
        rows.append(row);
    }
    return rows;
}

void CameraMemory::saveList(const QString& prefix, const QStringList& fields, const QList<QStringList>& rows)
{
    const QString& key = ProgramOptions::kProductKey;
    auto put = [&](const QString& name, const QString& value) {
        const std::optional<QString> stored = m_store.GetString(HKEY_LOCAL_MACHINE, key, name);
        if (value.isEmpty() && stored)
            m_store.DeleteValue(HKEY_LOCAL_MACHINE, key, name);
        else if (!value.isEmpty() && stored != value)
            m_store.SaveString(HKEY_LOCAL_MACHINE, key, name, value);
    };
    for (int i = 0; i < rows.size(); ++i) {
        for (int f = 0; f < fields.size(); ++f)
            put(numberedValue(prefix, i + 1, fields[f]), rows[i].value(f + 1));
        put(numberedValue(prefix, i + 1), rows[i].value(0));
    }
    // What is left of entries behind the list's new end.
    for (int number = int(rows.size()) + 1;
         m_store.GetString(HKEY_LOCAL_MACHINE, key, numberedValue(prefix, number)).has_value(); ++number) {
        put(numberedValue(prefix, number), QString());
        for (const QString& field : fields)
            put(numberedValue(prefix, number, field), QString());
    }
}

namespace {
const QString kNetworkPrefix = QStringLiteral("Network Camera");
const QStringList kNetworkFields = {QStringLiteral("Address"), QStringLiteral("Type"), QStringLiteral("User"),
                                    QStringLiteral("Password")};
const QString kUsedPrefix = QStringLiteral("Used Camera");
const QStringList kUsedFields = {QStringLiteral("Name"), QStringLiteral("Format"),
                                 QStringLiteral("Settings")};
} // namespace

QString CameraMemory::networkValue(int number, const QString& field)
{
    return numberedValue(kNetworkPrefix, number, field);
}

QList<NetworkCamera> CameraMemory::loadNetworkCameras()
{
    QList<NetworkCamera> cameras;
    for (const QStringList& row : loadList(kNetworkPrefix, kNetworkFields)) {
        NetworkCamera camera;
        camera.name = row[0];
        camera.address = row[1];
        camera.kind = NetworkCamera::kindFromText(row[2]).value_or(NetworkCamera::kindOf(camera.address));
        camera.user = row[3];
        camera.password = row[4];
        cameras.append(camera);
    }
    return cameras;
}

void CameraMemory::saveNetworkCameras(const QList<NetworkCamera>& cameras)
{
    QList<QStringList> rows;
    for (const NetworkCamera& camera : cameras)
        rows.append({camera.name, camera.address, NetworkCamera::kindText(camera.kind), camera.user,
                     camera.password});
    saveList(kNetworkPrefix, kNetworkFields, rows);
}

QList<CameraChoice> CameraMemory::loadUsedCameras()
{
    QList<CameraChoice> cameras;
    for (const QStringList& row : loadList(kUsedPrefix, kUsedFields)) {
        CameraChoice camera;
        camera.identity = row[0];
        camera.name = row[1];
        camera.format = formatFromText(row[2]);
        camera.controls = controlsFromText(row[3]);
        cameras.append(camera);
    }
    return cameras;
}

void CameraMemory::saveUsedCameras(const QList<CameraChoice>& cameras)
{
    QList<QStringList> rows;
    for (const CameraChoice& camera : cameras)
        if (!camera.identity.isEmpty())
            rows.append({camera.identity, camera.name, camera.format ? formatText(*camera.format) : QString(),
                         controlsText(camera.controls)});
    saveList(kUsedPrefix, kUsedFields, rows);
}
