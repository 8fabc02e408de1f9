#pragma once

#include <QString>

#include <exception>
#include <string>

// An error raised by the capture component: a number and a description, as the callers show them.
class CaptureError final : public std::exception
{
public:
    // Failures of SaveFrame carry this number; the upload cycle reports exactly these.
    static constexpr int kSaveFrameFailed = 10;
    static constexpr int kConnectFailed = 20;
    static constexpr int kNoDriver = 21;
    static constexpr int kFormatFailed = 22;
    static constexpr int kNetworkCamera = 23; // a network camera refused: unusable, named twice, in use
    static constexpr int kMovieFailed = 30;

    CaptureError(int number, const QString& description);

    int number() const { return m_number; }
    QString description() const { return m_description; }
    const char* what() const noexcept override { return m_what.c_str(); }

private:
    int m_number;
    QString m_description;
    std::string m_what;
};
