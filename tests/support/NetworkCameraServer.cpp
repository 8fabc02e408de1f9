#include "NetworkCameraServer.h"

#include "ScriptServer.h"

#include <QFile>
#include <QImage>
#include <QPainter>

namespace {
constexpr int kFrames = 8;
}

NetworkCameraServer::~NetworkCameraServer()
{
    stop();
}

bool NetworkCameraServer::writeFrames()
{
    const int square = m_options.size.height() / 4;
    for (int n = 0; n < kFrames; ++n) {
        QImage frame(m_options.size, QImage::Format_RGB32);
        frame.fill(m_options.colour);
        QPainter painter(&frame);
        painter.fillRect(n * (m_options.size.width() - square) / kFrames, 0, square, square, Qt::white);
        painter.end();
        if (!frame.save(m_folder.filePath(QStringLiteral("frame%1.jpg").arg(n)), "JPG", 90))
            return false;
    }
    return true;
}

bool NetworkCameraServer::start(const Options& options)
{
    stop();
    m_options = options;
    m_error.clear();
    QFile::remove(m_folder.filePath(QStringLiteral("requests.log")));
    QStringList arguments{QStringLiteral("--port"), QString::number(m_port)};
    if (!options.user.isEmpty() || !options.password.isEmpty())
        arguments << QStringLiteral("--user") << options.user << QStringLiteral("--password")
                  << options.password;
    QString script = QStringLiteral("net_camera_server.py");
    switch (options.kind) {
    case Kind::Http:
        if (!writeFrames()) {
            m_error = QStringLiteral("cannot write the camera's pictures");
            return false;
        }
        arguments << QStringLiteral("--frames") << m_folder.path() << QStringLiteral("--fps")
                  << QString::number(options.fps) << QStringLiteral("--flap-frames")
                  << QString::number(options.flapFrames) << QStringLiteral("--request-log")
                  << m_folder.filePath(QStringLiteral("requests.log"));
        break;
    case Kind::Mute:
        arguments << QStringLiteral("--mute");
        break;
    case Kind::Rtsp:
        script = QStringLiteral("rtsp_camera_server.py");
        arguments << QStringLiteral("--colour")
                  << QStringLiteral("0x%1").arg(options.colour.rgba(), 8, 16, QLatin1Char('0'))
                  << QStringLiteral("--width") << QString::number(options.size.width())
                  << QStringLiteral("--height") << QString::number(options.size.height());
        break;
    }
    m_port = ScriptServer::start(m_process, script, arguments, &m_error);
    return m_port > 0;
}

void NetworkCameraServer::stop()
{
    ScriptServer::stop(m_process);
}

QString NetworkCameraServer::address(const QString& scheme, const QString& path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(m_port).arg(path);
}

QStringList NetworkCameraServer::requests() const
{
    QFile file(m_folder.filePath(QStringLiteral("requests.log")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
