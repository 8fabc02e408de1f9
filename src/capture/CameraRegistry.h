#pragma once

#include "capture/CaptureStill.h"
#include "capture/GstCaptureComponent.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>

class DriverList;

// The cameras the accounts upload from besides the one the program's component has connected:
// one pipeline for each, a component that follows that one camera only (its own loss and
// return, its own stills with the fresh-picture rule), all on the program's driver list. A camera
// the program's component has connected is not opened a second time, since a device opens for
// one pipeline at a time: its stills come from the program's component, and the camera opens
// here once the program's component connects another.
class CameraRegistry final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CameraRegistry)

public:
    CameraRegistry(GstCaptureComponent& program, std::shared_ptr<DriverList> drivers,
                   const GstCaptureComponent::Limits& limits, QObject* parent = nullptr);
    ~CameraRegistry() override;

    // Opens each camera named that the program's component has not connected and closes the
    // others: after a change of the cameras in use and after the program's camera changed.
    void update();
    // The program's component is about to connect this camera: its pipeline here ends first.
    void release(const QString& identity);
    // The component opened for the camera, null when none is.
    GstCaptureComponent* camera(const QString& identity) const;
    int openCount() const { return int(m_open.size()); }

signals:
    void opened();

private:
    void open(const QString& identity);

    GstCaptureComponent& m_program;
    std::shared_ptr<DriverList> m_drivers;
    GstCaptureComponent::Limits m_limits;
    std::map<QString, std::unique_ptr<GstCaptureComponent>> m_open;
};
