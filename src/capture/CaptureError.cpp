#include "capture/CaptureError.h"

CaptureError::CaptureError(int number, const QString& description)
    : m_number(number), m_description(description), m_what(description.toStdString())
{
}
