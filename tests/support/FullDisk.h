#pragma once

#include <csignal>
#include <sys/resource.h>

// Every write that would grow a file fails, as on a full disk, while it lasts. The file size
// limit stands in for the disk, so the system's reason is "File too large" (EFBIG).
class FullDisk final
{
public:
    FullDisk()
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit none{0, m_saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &none);
    }
    ~FullDisk()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit m_saved{};
    void (*m_handler)(int) = nullptr;
};
