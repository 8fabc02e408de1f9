#pragma once

#include "common/Failure.h"

#include <QString>

// The system's error numbers (errno) as failures: its words, and the kind a caller can act on.
namespace SystemError {
// The system's words for the number ("No space left on device").
QString text(int number);
Failure::Kind kind(int number);
// A failure with the system's words as its sentence.
Failure failure(int number, int code = 0);
} // namespace SystemError
