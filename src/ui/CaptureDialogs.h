#pragma once

#include "capture/NetworkCamera.h"

#include <QString>

#include <optional>

class QPrinter;
class QWidget;

// The save dialogs and the printer of the capture commands, and the form of a new network camera. Each dialog
// answers absent when the user cancels. The program uses QtCaptureDialogs; tests answer from a script.
class CaptureDialogs
{
public:
    virtual ~CaptureDialogs() = default;

    // "Save Picture As File": bitmap or JPEG, default suffix "bmp", asks before overwriting.
    virtual std::optional<QString> saveImagePath(QWidget* parent) = 0;
    // "Save AVI File": default suffix "avi", no overwrite question.
    virtual std::optional<QString> saveMoviePath(QWidget* parent) = 0;
    // The default printer, owned by the dialogs; null when the system has none.
    virtual QPrinter* printer() = 0;
    // "Add Network Camera": the camera entered, tidied and checked.
    virtual std::optional<NetworkCamera> networkCamera(QWidget* parent) = 0;
};
