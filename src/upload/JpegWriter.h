#pragma once

#include "common/FileWriter.h"

#include "common/Result.h"

#include <QByteArray>
#include <QString>

#include <optional>

class Prompter;
class cDIBSection;

// Error codes shown in the JPEG error box. They are this writer's own (libjpeg has no numbered
// status); all are negative, as the box has always shown them.
enum JpegErrorCode : int {
    kJpegInitFailed = -1,     // the compressor could not be set up (out of memory)
    kJpegNoPicture = -10,     // the DIB section is empty or has an unusable size
    kJpegCannotCreate = -12,  // the file could not be created in the target folder
    kJpegEncodeFailed = -13,  // libjpeg stopped with an error while encoding
    kJpegCannotReplace = -14, // the finished file could not be moved over the target
    kJpegWriteFailed = -15    // the bytes could not all be written (a full disk)
};

// The bytes that pad a row of width * channels bytes to the next multiple of 4 (0 to 3); nothing
// when the row length does not fit 32 bits or is negative.
std::optional<int> DibPadBytes(int width, int channels);

// Encodes the DIB section's pixels straight from its memory as a baseline JPEG (YCbCr, chroma 2 x 2,
// the given quality 0..100). A failure's code is one of the codes above.
Result<QByteArray> EncodeJpeg(const cDIBSection& dib, int quality);
// Replaces the file at path with the encoded picture through writer, which never leaves a partial
// file under the target name. A failure's sentence is the system's reason, its code one of the above.
Result<void> WriteJpeg(const QByteArray& jpeg, const QString& path, const FileWriter& writer);
// Both, with the program's own writer.
Result<void> SaveJpeg(const cDIBSection& dib, const QString& path, int quality);

// The JPEG error box for a failure of the calls above: "IJL ERROR: [code] - text", exclamation
// icon, OK, title "JPEG Library". Only the windows show it; timed uploads log the sentence.
void ShowJpegError(const Failure& failure, Prompter& prompter);
