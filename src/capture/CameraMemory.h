#pragma once

#include "capture/CameraChoice.h"

class Regedit;

// Reads and writes a CameraChoice as values of the product key. Values that are absent or
// cannot be read give the defaults of CameraChoice; reading never writes.
class CameraMemory final
{
public:
    static inline const QString kCamera = QStringLiteral("Camera");
    static inline const QString kIdentity = QStringLiteral("Camera Identity");
    static inline const QString kFormat = QStringLiteral("Camera Format");
    static inline const QString kControls = QStringLiteral("Camera Settings");
    static inline const QString kMovieQuality = QStringLiteral("Movie Quality");
    static inline const QString kAudioRate = QStringLiteral("Audio Rate");
    static inline const QString kAudioChannels = QStringLiteral("Audio Channels");

    explicit CameraMemory(Regedit& store);

    CameraChoice load();
    // Writes the values that differ from what the store holds.
    void save(const CameraChoice& choice);

    // The stored text forms: "video/x-raw 640x480 30/1" and "name=value&name=value" with the
    // names percent-encoded. Texts that cannot be read give nothing.
    static QString formatText(const VideoFormat& format);
    static std::optional<VideoFormat> formatFromText(const QString& text);
    static QString controlsText(const QMap<QString, int>& controls);
    static QMap<QString, int> controlsFromText(const QString& text);

private:
    Regedit& m_store;
};
