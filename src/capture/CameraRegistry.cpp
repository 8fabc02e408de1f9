#include "capture/CameraRegistry.h"

#include "capture/DriverList.h"

CameraRegistry::CameraRegistry(GstCaptureComponent& program, std::shared_ptr<DriverList> drivers,
                               const GstCaptureComponent::Limits& limits, QObject* parent)
    : QObject(parent), m_program(program), m_drivers(std::move(drivers)), m_limits(limits)
{
}

// Each camera's destructor waits for its own pipeline's stop: nothing of them outlives this.
CameraRegistry::~CameraRegistry() = default;

void CameraRegistry::update()
{
    const QStringList inUse = m_program.camerasInUse();
    const QString programs = m_program.heldIdentity();
    bool changed = false;
    for (auto it = m_open.begin(); it != m_open.end();) {
        if (!inUse.contains(it->first) || it->first == programs) {
            it = m_open.erase(it);
            changed = true;
        } else {
            ++it;
        }
    }
    for (const QString& identity : inUse) {
        if (identity == programs || m_open.count(identity))
            continue;
        open(identity);
        changed = true;
    }
    if (changed)
        emit opened();
}

void CameraRegistry::release(const QString& identity)
{
    if (m_open.erase(identity) > 0)
        emit opened();
}

GstCaptureComponent* CameraRegistry::camera(const QString& identity) const
{
    const auto found = m_open.find(identity);
    return found == m_open.end() ? nullptr : found->second.get();
}

void CameraRegistry::open(const QString& identity)
{
    auto camera = std::make_unique<GstCaptureComponent>(
        GstCaptureComponent::FollowedCamera{m_drivers, m_program.rememberedCamera(identity)}, m_limits);
    // Not plugged in now: it connects when it appears, and its stills say where it is meanwhile.
    (void)camera->connectAtStart();
    m_open.emplace(identity, std::move(camera));
}
