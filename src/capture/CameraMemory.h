#pragma once

#include "capture/CameraChoice.h"
#include "capture/NetworkCamera.h"

#include <QList>

class Regedit;

// Reads and writes a CameraChoice and the network cameras as values of the product key. Values
// that are absent or cannot be read give the defaults of CameraChoice; reading never writes.
// Network camera n (from 1, the list ends at the first gap) is "Network Camera<n>" (its name)
// with "Network Camera<n> Address", "... Type" ("RTSP", "MJPEG", "Snapshot"; absent or unknown:
// taken from the address), "... User" and "... Password". They are values of the product key, not
// a key of their own, since every key below it may be an account's. The format and settings of each
// camera the program has used are "Used Camera<n>" (its identity) with "... Name", "... Format"
// and "... Settings", so a camera an account uploads from opens as it was last set up.
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

    QList<NetworkCamera> loadNetworkCameras();
    // Writes the list as it is now: changed values, and no values left of cameras removed.
    void saveNetworkCameras(const QList<NetworkCamera>& cameras);
    static QString networkValue(int number, const QString& field = QString());

    QList<CameraChoice> loadUsedCameras();
    void saveUsedCameras(const QList<CameraChoice>& cameras);

    // The stored text forms: "video/x-raw 640x480 30/1" and "name=value&name=value" with the
    // names percent-encoded. Texts that cannot be read give nothing.
    static QString formatText(const VideoFormat& format);
    static std::optional<VideoFormat> formatFromText(const QString& text);
    static QString controlsText(const QMap<QString, int>& controls);
    static QMap<QString, int> controlsFromText(const QString& text);

private:
    static QString numberedValue(const QString& prefix, int number, const QString& field = QString());
    // Numbered entries: the head value "<prefix><n>" (from 1; the list ends at the first gap)
    // and its fields "<prefix><n> <field>"; each row is the head followed by the fields.
    QList<QStringList> loadList(const QString& prefix, const QStringList& fields);
    // Writes changed values and removes the values of entries behind the list's end.
    void saveList(const QString& prefix, const QStringList& fields, const QList<QStringList>& rows);

    Regedit& m_store;
};
