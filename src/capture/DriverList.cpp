#include "capture/DriverList.h"

#include "capture/GstInit.h"
#include "capture/UiMailbox.h"

namespace {
QString deviceName(GstDevice* device)
{
    GstPtr<gchar> name(gst_device_get_display_name(device));
    return QString::fromUtf8(name.get());
}

// The monitor's bus is read on GStreamer's thread; the list changes on the owner's thread. A
// dropped message is released here (it holds its device).
GstBusSyncReply onMonitorMessage(GstBus*, GstMessage* message, gpointer data)
{
    auto& forward = *static_cast<std::function<void(GstMessage*)>*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_DEVICE_ADDED:
    case GST_MESSAGE_DEVICE_REMOVED:
    case GST_MESSAGE_DEVICE_CHANGED:
        forward(message);
        break;
    default:
        break;
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

} // namespace

DriverList::DriverList(QObject* parent) : QObject(parent), m_mailbox(UiMailbox::create(this))
{
    ensureGstInitialized();
    m_monitor.reset(gst_device_monitor_new());
    // By class only: a camera that goes away may no longer tell its formats.
    gst_device_monitor_add_filter(m_monitor.get(), "Video/Source", nullptr);
    GstPtr<GstBus> bus(gst_device_monitor_get_bus(m_monitor.get()));
    auto* forward = new std::function<void(GstMessage*)>([mailbox = m_mailbox, this](GstMessage* message) {
        GstPtr<GstMessage> held(gst_message_ref(message));
        mailbox->post([this, held = std::shared_ptr<GstMessage>(held.release(), gst_message_unref)] {
            GstDevice* raw = nullptr;
            GstDevice* old = nullptr;
            switch (GST_MESSAGE_TYPE(held.get())) {
            case GST_MESSAGE_DEVICE_ADDED:
                gst_message_parse_device_added(held.get(), &raw);
                deviceAdded(GstPtr<GstDevice>(raw));
                break;
            case GST_MESSAGE_DEVICE_REMOVED:
                gst_message_parse_device_removed(held.get(), &raw);
                deviceRemoved(GstPtr<GstDevice>(raw));
                break;
            default:
                gst_message_parse_device_changed(held.get(), &raw, &old);
                if (old)
                    gst_object_unref(old);
                deviceAdded(GstPtr<GstDevice>(raw));
                break;
            }
        });
    });
    gst_bus_set_sync_handler(bus.get(), &onMonitorMessage, forward, [](gpointer data) {
        delete static_cast<std::function<void(GstMessage*)>*>(data);
    });
    // Started, the monitor reports changes; its list then holds what is present now.
    if (!gst_device_monitor_start(m_monitor.get()))
        gst_bus_set_sync_handler(bus.get(), nullptr, nullptr, nullptr);
    GList* devices = gst_device_monitor_get_devices(m_monitor.get());
    for (GList* item = devices; item; item = item->next) {
        GstPtr<GstDevice> device(GST_DEVICE(item->data)); // the list hands over one reference each
        if (indexOf(identityOf(device.get())) >= 0)
            continue;
        Driver driver;
        driver.name = deviceName(device.get());
        driver.identity = identityOf(device.get());
        driver.device = std::move(device);
        m_drivers.push_back(std::move(driver));
    }
    g_list_free(devices);
}

DriverList::~DriverList()
{
    m_mailbox->close();
    // Stopping the monitor makes GStreamer's PipeWire device provider (pipewire 0.3.65) free one of
    // its proxies a second time whenever WirePlumber runs, which corrupts the heap. So the monitor
    // is left running, unheard, until the process ends: one per capture component. Its handler
    // stays (replacing it could free it while GStreamer's thread runs it) and, with the mailbox
    // closed, only releases the messages.
    [[maybe_unused]] GstDeviceMonitor* running = m_monitor.release();
}

QString DriverList::testPatternName()
{
    return QStringLiteral("Test pattern");
}

void DriverList::addTestPattern()
{
    Driver driver;
    driver.kind = Kind::TestPattern;
    driver.name = testPatternName();
    driver.identity = QStringLiteral("TestPattern||") + driver.name;
    append(std::move(driver));
}

void DriverList::addLaunch(const QString& name, const QString& description)
{
    Driver driver;
    driver.kind = Kind::Launch;
    driver.name = name;
    driver.launch = description;
    driver.identity = QStringLiteral("Launch|%1|%2").arg(description, name);
    append(std::move(driver));
}

void DriverList::addNetwork(const NetworkCamera& camera)
{
    Driver driver;
    driver.kind = Kind::Network;
    driver.name = camera.name;
    driver.network = camera;
    driver.identity = camera.identity();
    append(std::move(driver));
}

void DriverList::removeNetwork(int index)
{
    if (!contains(index) || at(index).kind != Kind::Network)
        return;
    emit driverRemoved(index);
    m_drivers.erase(m_drivers.begin() + index);
    emit listChanged();
}

void DriverList::append(Driver driver)
{
    m_drivers.push_back(std::move(driver));
    emit listChanged();
}

int DriverList::indexOf(const QString& identity) const
{
    for (int i = 0; i < count(); ++i)
        if (m_drivers[size_t(i)].identity == identity)
            return i;
    return -1;
}

QString DriverList::identityOf(GstDevice* device)
{
    QString kind = QString::fromLatin1(G_OBJECT_TYPE_NAME(device));
    if (kind.startsWith(QLatin1String("Gst")))
        kind.remove(0, 3);
    if (kind.endsWith(QLatin1String("Device")))
        kind.chop(6);
    QString address;
    if (GstStructure* properties = gst_device_get_properties(device)) {
        // The first of these a provider gives: a PipeWire node's name, a USB camera's port, its
        // device file.
        for (const char* key : {"node.name", "device.bus_path", "api.v4l2.cap.bus_info",
                                "v4l2.device.bus_info", "device.path", "api.v4l2.path", "object.path"}) {
            if (const gchar* value = gst_structure_get_string(properties, key); value && *value) {
                address = QString::fromUtf8(value);
                break;
            }
        }
        gst_structure_free(properties);
    }
    return kind + QLatin1Char('|') + address + QLatin1Char('|') + deviceName(device);
}

void DriverList::deviceAdded(GstPtr<GstDevice> device)
{
    if (!device)
        return;
    const QString identity = identityOf(device.get());
    const int index = indexOf(identity);
    if (index < 0) {
        Driver driver;
        driver.name = deviceName(device.get());
        driver.identity = identity;
        driver.device = std::move(device);
        append(std::move(driver));
        emit driverAppeared(count() - 1);
        return;
    }
    Driver& driver = m_drivers[size_t(index)];
    const bool returned = !driver.present;
    driver.device = std::move(device);
    driver.present = true;
    if (returned) {
        emit listChanged();
        emit driverAppeared(index);
    }
}

void DriverList::deviceRemoved(GstPtr<GstDevice> device)
{
    if (!device)
        return;
    const int index = indexOf(identityOf(device.get()));
    if (index < 0 || !m_drivers[size_t(index)].present)
        return;
    Driver& driver = m_drivers[size_t(index)];
    driver.present = false;
    driver.device.reset();
    emit listChanged();
    emit driverGone(index);
}
