#include "settings/StoreLocks.h"

#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {
using OpenCall = int (*)(const char*, int, int);
using CloseCall = int (*)(int);
using FcntlCall = int (*)(int, int, ...);

OpenCall g_open = nullptr;
CloseCall g_close = nullptr;
FcntlCall g_fcntl = nullptr;
bool g_private = false;

using FileId = std::pair<dev_t, ino_t>;

// A file SQLite has open: how many of its descriptors lead to it, and the description that holds
// the locks for all of them (as the process held them before).
struct LockedFile
{
    int descriptors = 0;
    int lockFd = -1;
};

// SQLite calls in from every thread that uses a connection.
std::mutex g_mutex;
std::map<FileId, LockedFile> g_files;
std::map<int, FileId> g_descriptors;

// Forgets one of SQLite's descriptors; returns the lock description to close when it was the
// file's last one, so that closing the file still releases its locks.
int forgetDescriptor(int fd)
{
    const auto known = g_descriptors.find(fd);
    if (known == g_descriptors.end())
        return -1;
    const auto file = g_files.find(known->second);
    g_descriptors.erase(known);
    if (file == g_files.end() || --file->second.descriptors > 0)
        return -1;
    const int lockFd = file->second.lockFd;
    g_files.erase(file);
    return lockFd;
}

int routedOpen(const char* path, int flags, int mode)
{
    const int fd = g_open(path, flags, mode);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return fd;
    int stale = -1;
    {
        const std::lock_guard lock(g_mutex);
        stale = forgetDescriptor(fd);
        const FileId id{info.st_dev, info.st_ino};
        ++g_files[id].descriptors;
        g_descriptors[fd] = id;
    }
    if (stale >= 0)
        ::close(stale);
    return fd;
}

int routedClose(int fd)
{
    int lockFd = -1;
    {
        const std::lock_guard lock(g_mutex);
        lockFd = forgetDescriptor(fd);
    }
    if (lockFd >= 0)
        ::close(lockFd);
    return g_close(fd);
}

// The description holding the locks of fd's file, made on first use; -1 for a descriptor that
// SQLite did not open through routedOpen.
int lockDescriptor(int fd)
{
    const std::lock_guard lock(g_mutex);
    const auto known = g_descriptors.find(fd);
    if (known == g_descriptors.end())
        return -1;
    LockedFile& file = g_files[known->second];
    if (file.lockFd < 0) {
        // A description of its own, writable where the file allows it, so that a write lock can
        // follow a read lock first taken through a read-only connection.
        char link[40];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        file.lockFd = ::open(link, O_RDWR | O_CLOEXEC);
        if (file.lockFd < 0)
            file.lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    }
    return file.lockFd;
}

int routedFcntl(int fd, int operation, ...)
{
    va_list arguments;
    va_start(arguments, operation);
    if (operation != F_SETLK && operation != F_SETLKW && operation != F_GETLK) {
        // The other operations SQLite uses (F_GETFD, F_SETFD, F_GETFL) take an int.
        const int value = va_arg(arguments, int);
        va_end(arguments);
        return g_fcntl(fd, operation, value);
    }
    auto* request = va_arg(arguments, struct flock*);
    va_end(arguments);
    const int lockFd = lockDescriptor(fd);
    if (lockFd < 0)
        return g_fcntl(fd, operation, request);
    struct flock routed = *request;
    routed.l_pid = 0; // description locks require it
    const int routedOperation = operation == F_SETLK    ? F_OFD_SETLK
                                : operation == F_SETLKW ? F_OFD_SETLKW
                                                        : F_OFD_GETLK;
    const int result = g_fcntl(lockFd, routedOperation, &routed);
    if (result == 0 && operation == F_GETLK)
        *request = routed;
    return result;
}

bool descriptionLocksWork()
{
    const int fd = ::memfd_create("velmora-lock-probe", MFD_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock probe
    {
    };
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_len = 1;
    const bool works = ::fcntl(fd, F_OFD_GETLK, &probe) == 0;
    ::close(fd);
    return works;
}

template <typename Call> bool route(sqlite3_vfs* vfs, const char* name, Call& original, Call replacement)
{
    original = reinterpret_cast<Call>(vfs->xGetSystemCall(vfs, name));
    return original &&
           vfs->xSetSystemCall(vfs, name, reinterpret_cast<sqlite3_syscall_ptr>(replacement)) == SQLITE_OK;
}
} // namespace

namespace StoreLocks {
void install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (sqlite3_initialize() != SQLITE_OK || !descriptionLocksWork())
            return;
        // Every unix file system of SQLite shares one table of system calls.
        sqlite3_vfs* vfs = sqlite3_vfs_find("unix");
        if (!vfs || vfs->iVersion < 3 || !vfs->xGetSystemCall || !vfs->xSetSystemCall)
            return;
        g_private = route(vfs, "open", g_open, &routedOpen) && route(vfs, "close", g_close, &routedClose) &&
                    route(vfs, "fcntl", g_fcntl, &routedFcntl);
    });
}

bool isPrivate()
{
    return g_private;
}
} // namespace StoreLocks
