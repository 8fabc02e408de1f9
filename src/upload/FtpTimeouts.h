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

    std::chrono::milliseconds connect = kConnect;
    std::chrono::milliseconds response = kResponse;
    std::chrono::milliseconds stage = kStage;
};
