#pragma once

#include <chrono>

// Time limits of the FTP stage, so that a dead or stalled server never holds an upload cycle.
// The program uses the defaults; tests shorten them.
struct FtpTimeouts
{
    // Connecting and logging in.
    static constexpr std::chrono::milliseconds kConnect{30'000};
    // A server that stops answering, before, during or after a transfer.
    static constexpr std::chrono::milliseconds kResponse{60'000};
    // The whole stage: login, both files and the goodbye.
    static constexpr std::chrono::milliseconds kStage{300'000};
    // The goodbye: a server that does not answer QUIT is cut off after this; what was delivered
    // stays delivered.
    static constexpr std::chrono::milliseconds kQuit{5'000};
    // Removing what a cancelled transfer left under its name, on a connection of its own, when the
    // cancel names no time by which it must be done (the end of the program does: the removal
    // then gets what is left until then).
    static constexpr std::chrono::milliseconds kCleanup{800};

    std::chrono::milliseconds connect = kConnect;
    std::chrono::milliseconds response = kResponse;
    std::chrono::milliseconds stage = kStage;
    std::chrono::milliseconds quit = kQuit;
    std::chrono::milliseconds cleanup = kCleanup;
};
