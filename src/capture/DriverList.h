#pragma once

#include "capture/GstPtr.h"
#include "capture/NetworkCamera.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

class UiMailbox;

// The capture drivers: the cameras GStreamer's device monitor reports (V4L2, PipeWire), the
// moving test pattern when asked for, network cameras a person added, and sources given as a
// gst-launch description. Each driver has an identity that stays the same while cameras come and
// go, so a camera is never taken for another because the list order changed. The list grows: a
// camera that goes away keeps its place, marked absent, and takes it again when it comes back.
// Only a network camera that a person removes leaves it; the drivers behind it move up.
class DriverList final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DriverList)

public:
    enum class Kind { Device, TestPattern, Launch, Network };
    struct Driver
    {
        Kind kind = Kind::Device;
        QString name;
        QString identity;
        GstPtr<GstDevice> device; // null while a camera is absent
        QString launch;           // the source description of a Launch driver
        NetworkCamera network;    // the camera of a Network driver
        bool present = true;
    };

    // Lists the cameras present now and watches for cameras that come and go.
    explicit DriverList(QObject* parent = nullptr);
    ~DriverList() override;

    static QString testPatternName();
    void addTestPattern();
    // A source made of a gst-launch description (an IP camera, a file).
    void addLaunch(const QString& name, const QString& description);
    void addNetwork(const NetworkCamera& camera);
    // Takes a network camera out of the list (driverRemoved first).
    void removeNetwork(int index);

    int count() const { return int(m_drivers.size()); }
    const Driver& at(int index) const { return m_drivers[size_t(index)]; }
    bool contains(int index) const { return index >= 0 && index < count(); }
    // -1 when no listed driver has that identity.
    int indexOf(const QString& identity) const;

    // "<kind>|<device path or node name>|<name>": the device's provider, its most stable address
    // (PipeWire node name, USB port path, device path) and its display name.
    static QString identityOf(GstDevice* device);

signals:
    // A camera was plugged in: newly listed, or back at its old place.
    void driverAppeared(int index);
    void driverGone(int index);
    // A driver is about to leave the list; the drivers behind it move up by one.
    void driverRemoved(int index);
    // The list grew or a driver's presence changed.
    void listChanged();

private:
    void deviceAdded(GstPtr<GstDevice> device);
    void deviceRemoved(GstPtr<GstDevice> device);
    void append(Driver driver);

    std::vector<Driver> m_drivers;
    GstPtr<GstDeviceMonitor> m_monitor;
    std::shared_ptr<UiMailbox> m_mailbox;
};
