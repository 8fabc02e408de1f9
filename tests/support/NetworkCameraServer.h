#pragma once

#include "ChildProcess.h"

#include <QColor>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

// A network camera on the loopback interface for tests, in a child process:
// - Http: an MJPEG stream at "/video.mjpg" and a snapshot address "/snapshot.jpg" serving pictures
//   of one colour with a moving white square, and cameras that fail in the ways the script lists
//   (net_camera_server.py; httpAddress gives their addresses);
// - Rtsp: "rtsp://127.0.0.1:<port>/camera", a white ball moving over the colour, as RTP/JPEG
//   from gst-rtsp-server (rtsp_camera_server.py);
// - Mute: accepts connections and never answers.
// With a user and password the camera demands them. stop() is a network outage; start() again
// serves on the same port. The process is killed with the object.
class NetworkCameraServer final
{
public:
    enum class Kind { Http, Rtsp, Mute };
    struct Options
    {
        Kind kind = Kind::Http;
        QColor colour = Qt::red;
        QSize size = {320, 240};
        int fps = 10;       // of the MJPEG stream
        int flapFrames = 2; // the pictures a stream of "/flap.mjpg" sends before it ends
        QString user;
        QString password;
    };

    NetworkCameraServer() = default;
    ~NetworkCameraServer();
    NetworkCameraServer(const NetworkCameraServer&) = delete;
    NetworkCameraServer& operator=(const NetworkCameraServer&) = delete;

    // Starts serving (on the port it had before, if any); false with the reason in error().
    bool start(const Options& options);
    bool start() { return start(m_options); }
    void stop();
    const QString& error() const { return m_error; }
    int port() const { return m_port; }

    QString mjpegAddress() const { return address(QStringLiteral("http"), QStringLiteral("/video.mjpg")); }
    QString snapshotAddress() const
    {
        return address(QStringLiteral("http"), QStringLiteral("/snapshot.jpg"));
    }
    QString rtspAddress() const { return address(QStringLiteral("rtsp"), QStringLiteral("/camera")); }
    // Another address of the HTTP camera, such as "/flap.mjpg" or "/status/500.jpg".
    QString httpAddress(const QString& path) const { return address(QStringLiteral("http"), path); }
    // The Authorization headers the HTTP camera received, one per request ("-" without one).
    QStringList requests() const;

private:
    QString address(const QString& scheme, const QString& path) const;
    bool writeFrames();

    Options m_options;
    QTemporaryDir m_folder;
    ChildProcess m_process;
    int m_port = 0;
    QString m_error;
};
