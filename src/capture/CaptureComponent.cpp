#include "capture/CaptureComponent.h"

CaptureComponent::CaptureComponent(QObject* parent) : QObject(parent) {}

CaptureComponent::~CaptureComponent() = default;
