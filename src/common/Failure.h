#pragma once

#include <QString>

// Why something did not work, as every fallible call below the windows reports it: a kind the
// caller can act on, and the sentence the log (or, where a window decides so, a message box)
// shows. A number is kept where the program shows one (the capture component's error numbers, the
// JPEG writer's error codes).
struct Failure
{
    enum class Kind {
        NotFound,    // a file, folder, device or name that is not there
        NoAccess,    // there, but not for us (permissions, a read-only store)
        NoSpace,     // a full disk or quota
        Unreachable, // a server or camera that cannot be reached or does not answer
        Refused,     // it answered no: a login, a command, a busy device
        TimedOut,
        Cancelled,   // we asked it to stop
        TooLarge,    // beyond a limit checked before any work
        Invalid,     // input that cannot be used: a damaged file, a value out of range
        Unsupported, // something this system or this program cannot do
        Io,          // reading or writing went wrong otherwise
        Internal     // a library refused something that should work
    };

    Kind kind = Kind::Internal;
    QString sentence;
    int code = 0;

    static Failure of(Kind kind, const QString& sentence, int code = 0)
    {
        return Failure{kind, sentence, code};
    }
};
