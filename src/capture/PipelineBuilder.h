#pragma once

#include "capture/AudioFormat.h"
#include "capture/DriverList.h"
#include "capture/GstPtr.h"
#include "capture/VideoFormat.h"
#include "common/Result.h"

#include <QList>
#include <QString>

// Builds the pipelines of a driver: the live pipeline (source, the chosen format, decoding and
// conversion to BGRx behind a gate, the frame sink) and the movie pipeline, which records AVI
// (MJPEG, PCM sound) beside it. Elements the capture code reaches by name: "source", "gate"
// (frames pass its source pad only when wanted), "framesink", "moviesink", "moviesound".
class PipelineBuilder final
{
public:
    static constexpr const char* kMovieSoundName = "moviesound";

    struct Movie
    {
        QString partPath;
        bool withAudio = false;
        int frameRate = 30;
        int quality = 85;
        AudioFormat audio;
    };

    // The formats a driver offers, as the format dialog lists them.
    static QList<VideoFormat> formatsOf(const DriverList::Driver& driver);
    // The format a driver starts at: 352 x 288 or the size nearest to it, uncompressed before
    // MJPEG, the frame rate nearest to 30. -1 for a driver that lists no formats.
    static int startFormat(const QList<VideoFormat>& formats);
    // The remembered format among formats: the same one, else one of the same size, else -1.
    static int matchFormat(const QList<VideoFormat>& formats, const VideoFormat& wanted);

    // The pipeline of a driver at format (null: the driver's own choice), with movie the recording
    // branch too, or why it cannot be built.
    static Result<GstPtr<GstElement>> build(const DriverList::Driver& driver, const VideoFormat* format,
                                            const Movie* movie);

private:
    static Result<GstPtr<GstElement>> createSource(const DriverList::Driver& driver);
};
