#include "PipeWireGraph.h"

#include "capture/GstInit.h"
#include "capture/GstPtr.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace {
constexpr int kStartMs = 10000;
constexpr int kSettleMs = 300;

template <typename Condition> bool waitUntil(Condition condition, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}
} // namespace

PipeWireGraph::~PipeWireGraph()
{
    for (auto& [number, process] : m_cameras)
        process->kill();
    m_wireplumber.kill();
    m_pipewire.kill();
    m_bus.kill();
    for (const auto& [name, value] : m_savedVariables) {
        if (value)
            qputenv(name.constData(), *value);
        else
            qunsetenv(name.constData());
    }
}

void PipeWireGraph::setVariable(const char* name, const QByteArray& value)
{
    if (!m_savedVariables.contains(name))
        m_savedVariables[name] =
            qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    qputenv(name, value);
    m_environment.insert(QString::fromLatin1(name), QString::fromLocal8Bit(value));
}

bool PipeWireGraph::startProcess(ChildProcess& process, const QString& program, const QStringList& arguments)
{
    // The environment is this process's, which setVariable changed; a test that dies leaves no
    // graph behind, as the children end with it.
    if (process.start(program, arguments))
        return true;
    m_error = program + QStringLiteral(": ") + process.error();
    return false;
}

bool PipeWireGraph::start()
{
    for (const char* program : {"dbus-daemon", "pipewire", "wireplumber", "pw-cli", "gst-launch-1.0"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty()) {
            m_error = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(program));
            return false;
        }
    }
    ensureGstInitialized();
    if (GstPtr<GstElementFactory> sink{gst_element_factory_find("pipewiresink")}; !sink) {
        m_error = QStringLiteral("GStreamer has no pipewiresink (gstreamer1.0-pipewire)");
        return false;
    }
    if (!m_runtime.isValid()) {
        m_error = QStringLiteral("no private runtime folder");
        return false;
    }
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment = QProcessEnvironment::systemEnvironment();
    const QByteArray runtime = QFile::encodeName(m_runtime.path());
    setVariable("XDG_RUNTIME_DIR", runtime);
    setVariable("PIPEWIRE_RUNTIME_DIR", runtime);

    if (!startProcess(
            m_bus, QStringLiteral("dbus-daemon"),
            {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")}))
        return false;
    const QByteArray address = m_bus.readUntil("unix:", kStartMs);
    if (!address.contains('\n')) {
        m_error = QStringLiteral("the session bus did not start (it said \"%1\")")
                      .arg(QString::fromLocal8Bit(address));
        return false;
    }
    setVariable("DBUS_SESSION_BUS_ADDRESS", address.trimmed());

    if (!startProcess(m_pipewire, QStringLiteral("pipewire"), {}))
        return false;
    const QString socket = m_runtime.filePath(QStringLiteral("pipewire-0"));
    if (!waitUntil([&] { return QFile::exists(socket) || !m_pipewire.isRunning(); }, kStartMs) ||
        !QFile::exists(socket)) {
        m_error = QStringLiteral("pipewire did not start");
        return false;
    }
    if (!startProcess(m_wireplumber, QStringLiteral("wireplumber"), {}))
        return false;
    return true;
}

int PipeWireGraph::plug(const Camera& camera)
{
    const QString caps =
        (camera.mjpeg
             ? QStringLiteral("video/x-raw,width=%1,height=%2,framerate=%3/1 ! jpegenc ! "
                              "image/jpeg,width=%1,height=%2,framerate=%3/1")
             : QStringLiteral("video/x-raw,width=%1,height=%2,framerate=%3/1,format=") + camera.format)
            .arg(camera.width)
            .arg(camera.height)
            .arg(camera.fps);
    const QString description =
        QStringLiteral(
            "videotestsrc is-live=true pattern=%1 horizontal-speed=2 ! %2 ! pipewiresink mode=provide "
            "client-name=%3 stream-properties=\"props,media.class=Video/Source,media.role=Camera,"
            "node.description=%3\"")
            .arg(camera.pattern, caps, camera.name);
    auto process = std::make_unique<ChildProcess>();
    if (!startProcess(*process, QStringLiteral("gst-launch-1.0"), QProcess::splitCommand(description)))
        return -1;
    // A consumer that links before the producer has sent its first frame gets buffers sized for
    // no data (and pipewiresink then crashes on a JPEG frame): wait until it plays, and a moment.
    process->readUntil("New clock", kStartMs);
    QThread::msleep(kSettleMs);
    if (!waitUntil([&] { return isListed(camera.name); }, kStartMs)) {
        m_error = QStringLiteral("the camera %1 was not listed").arg(camera.name);
        return -1;
    }
    const int number = m_nextCamera++;
    m_cameras[number] = std::move(process);
    m_cameraNames[number] = camera.name;
    return number;
}

void PipeWireGraph::unplug(int number)
{
    const auto found = m_cameras.find(number);
    if (found == m_cameras.end())
        return;
    found->second->kill();
    m_cameras.erase(found);
    const QString name = m_cameraNames[number];
    waitUntil([&] { return !isListed(name); }, kStartMs);
}

void PipeWireGraph::freeze(int number, bool frozen)
{
    // Never kill(-1, ...): that would reach every process we may signal.
    if (const auto found = m_cameras.find(number); found != m_cameras.end() && found->second->pid() > 0)
        ::kill(found->second->pid(), frozen ? SIGSTOP : SIGCONT);
}

bool PipeWireGraph::isListed(const QString& name) const
{
    // Asked of the graph itself: a second device monitor in this process would disturb the
    // component's own (the PipeWire device provider then misses cameras that come and go).
    QByteArray nodes;
    if (ChildProcess::run(QStringLiteral("pw-cli"), {QStringLiteral("ls"), QStringLiteral("Node")}, kStartMs,
                          &nodes) != 0)
        return false;
    return QString::fromUtf8(nodes).contains(QStringLiteral("node.name = \"%1\"").arg(name));
}
