#include "capture/CaptureComponent.h"

#include "capture/CaptureError.h"

#include <QPointer>
#include <QTimer>

CaptureComponent::CaptureComponent(QObject* parent) : QObject(parent) {}

CaptureComponent::~CaptureComponent() = default;

void CaptureComponent::requestStill(QObject* context, std::function<void(const CaptureStill&)> done)
{
    QTimer::singleShot(0, context, [self = QPointer<CaptureComponent>(this), done = std::move(done)] {
        CaptureStill still;
        if (!self) {
            still.error = QStringLiteral("No video capture driver is connected");
        } else {
            try {
                still.frame = self->GrabFrame();
            } catch (const CaptureError& error) {
                still.error = error.description();
            }
        }
        done(still);
    });
}
