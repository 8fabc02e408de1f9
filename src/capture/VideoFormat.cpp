#include "capture/VideoFormat.h"

QString VideoFormat::description() const
{
    QString text = QStringLiteral("%1 x %2").arg(width).arg(height);
    if (fpsNumerator > 0 && fpsDenominator > 0) {
        const double fps = double(fpsNumerator) / fpsDenominator;
        text += QStringLiteral(", %1 fps").arg(fps, 0, 'g', 4);
    }
    if (mediaType == QLatin1String("image/jpeg"))
        text += QStringLiteral(" (MJPEG)");
    return text;
}
