#pragma once

#include "capture/NetworkCamera.h"

#include <gst/gst.h>

#include <QString>

#include <optional>

// Why a camera gives no picture, in one set of reasons for every kind of camera: the sources and
// checks of our own post it on the pipeline's bus as an error whose details carry it, and the
// capture component words it for a person with the camera's name.
struct CameraFault
{
    enum class Kind {
        HttpStatus,   // the camera answered with a status that is no picture; detail: "HTTP 500 (...)"
        NotAPicture,  // detail: what came instead ("text/html")
        TooLarge,     // detail: "60000 x 60000" or "more than 32 MB"
        LoginRefused, // the user name or password, or their absence
        NoAnswer,     // detail: how long it was silent, or empty
        Unreachable,  // no connection, or the connection broke; detail: why, when it helps
        Undecodable,  // a picture that cannot be decoded
        NoDecoder,    // video in a format no installed decoder reads
    };

    Kind kind = Kind::Unreachable;
    QString detail{};

    // The reason as a sentence part after "No picture: " or "Could not connect to driver!";
    // withLogin: whether a user name or password was given (a refusal then names them).
    QString sentence(const QString& camera, bool withLogin = true) const;
    // The same about a camera named otherwise ("the camera", for the text of the bus's error).
    QString sentenceAbout(const QString& subject, bool withLogin = true) const;

    // Posts the fault as an error of element on its bus.
    void post(GstElement* element) const;
    // The fault an error message carries; absent for errors of other elements.
    static std::optional<CameraFault> fromMessage(GstMessage* message);
    // The network's failures that GStreamer's own elements (RTSP) report, as what they mean to a
    // person, without addresses; absent for other errors.
    static std::optional<CameraFault> fromNetworkMessage(GstMessage* message, NetworkCamera::Kind kind);
    // The text of an error message as GStreamer words it.
    static QString errorText(GstMessage* message);

    // "HTTP 404 (Not Found)": the status with its standard meaning, else with the printable part of
    // the camera's own phrase (at most a few words), else the number alone.
    static QString statusText(const char* protocol, long status, const QByteArray& phrase = {});

    bool operator==(const CameraFault&) const = default;
};
