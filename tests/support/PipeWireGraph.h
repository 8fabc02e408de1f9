#pragma once

#include "ChildProcess.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <optional>

// Cameras for tests without camera hardware: a PipeWire graph of the test's own (a private
// session bus, pipewire and wireplumber, XDG_RUNTIME_DIR in a private folder) with test cameras
// made by gst-launch producers (videotestsrc into pipewiresink). GStreamer's device monitor lists
// them like any camera; ending a producer unplugs its camera, starting a new one plugs it back.
// This PipeWire may stop serving a producer after its first consumer leaves: one producer per
// scenario. Everything started is ended with the object, and this process's environment is
// restored. The programs start through ChildProcess, not QProcess: see there.
class PipeWireGraph final
{
public:
    struct Camera
    {
        QString name = QStringLiteral("TestCam");
        int width = 640;
        int height = 480;
        int fps = 30;
        bool mjpeg = false;
        QString format = QStringLiteral("YUY2"); // raw formats only
        QString pattern = QStringLiteral("smpte");
    };

    PipeWireGraph() = default;
    ~PipeWireGraph();
    PipeWireGraph(const PipeWireGraph&) = delete;
    PipeWireGraph& operator=(const PipeWireGraph&) = delete;

    // Starts the graph and points this process at it. False, with the reason in error(), where
    // PipeWire cannot run here.
    bool start();
    const QString& error() const { return m_error; }
    // What a child program needs to see the graph's cameras.
    QProcessEnvironment environment() const { return m_environment; }

    // Plugs a camera in and waits until the graph lists it; its number, or -1.
    int plug(const Camera& camera);
    // Ends the camera's producer and waits until it is no longer listed.
    void unplug(int number);
    // Stops or resumes the producer's process: a camera that is listed but sends nothing.
    void freeze(int number, bool frozen);
    // Whether the graph has a camera of that name now.
    bool isListed(const QString& name) const;

private:
    bool startProcess(ChildProcess& process, const QString& program, const QStringList& arguments);
    void setVariable(const char* name, const QByteArray& value);

    QString m_error;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment;
    ChildProcess m_bus;
    ChildProcess m_pipewire;
    ChildProcess m_wireplumber;
    std::map<int, std::unique_ptr<ChildProcess>> m_cameras;
    std::map<int, QString> m_cameraNames;
    int m_nextCamera = 1;
    std::map<QByteArray, std::optional<QByteArray>> m_savedVariables;
};
