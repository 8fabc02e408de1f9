#pragma once

#include <QIcon>

// The program's own pictures, drawn in code so no image files need shipping: the program icon
// (16 x 16 and 32 x 32) and the seven toolbar pictures.
namespace ProgramPictures {
enum class Tool { CaptureImage = 1, CaptureMovie, UploadNow, UploadSettings, Image, Picture, HideInSystray };

QIcon programIcon();
QIcon toolIcon(Tool tool);
} // namespace ProgramPictures
