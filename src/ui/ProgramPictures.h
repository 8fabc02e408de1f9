#pragma once

#include <QIcon>

// The toolbar's pictures, drawn in code so no image files need shipping. The program's own icon is
// ProgramIcon.
namespace ProgramPictures {
enum class Tool { CaptureImage = 1, CaptureMovie, UploadNow, UploadSettings, Image, Picture, HideInSystray };

QIcon toolIcon(Tool tool);
} // namespace ProgramPictures
