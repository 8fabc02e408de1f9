#include "settings/StoreFile.h"

#include "common/AppPaths.h"
#include "common/SystemError.h"
#include "settings/StoreLocks.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kBusyTimeoutMs = 5000;

const QString kLeftAlone =
    QStringLiteral("it is left untouched, the program runs on defaults and changes will not be saved");
const QString kReadOnly = QStringLiteral("its settings are read, changes will not be saved");

// Errors after which the store may still be read without writing: the file or its folder cannot
// be written, or the journal files cannot be made or grown (a full disk).
bool worthReadingOnly(int error)
{
    switch (error & 0xFF) {
    case SQLITE_IOERR:
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_FULL:
    case SQLITE_PERM:
        return true;
    default:
        return false;
    }
}

QByteArray uriOf(const QString& path, const char* parameter)
{
    return "file:" + QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/") + '?' + parameter;
}
} // namespace

void StoreFile::Close::operator()(sqlite3* db) const
{
    sqlite3_close(db);
}

StoreFile::StoreFile(QString path) : m_path(std::move(path))
{
    open();
}

StoreFile::~StoreFile()
{
    disconnect();
    repairJournalModes();
}

void StoreFile::warn(const QString& what) const
{
    std::fprintf(stderr, "velmora: settings store %s: %s\n", qPrintable(m_path), qPrintable(what));
}

bool StoreFile::exec(const char* sql) const
{
    return sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool StoreFile::createFile()
{
    // Made by us, so that it is private from the first byte: it holds passwords.
    const QString folder = QFileInfo(m_path).absolutePath();
    // Folders made on the way to the store are private to the user, whatever the umask says.
    const Result<void> folderMade = AppPaths::makePrivateFolder(folder);
    const int fd = folderMade ? ::open(QFile::encodeName(m_path).constData(),
                                       O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                              : -1;
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
        return true;
    }
    if (folderMade && errno == EEXIST)
        return true; // made by another process meanwhile
    const QString cause = folderMade ? SystemError::text(errno) : folderMade.failure().sentence;
    m_problem = QStringLiteral("the settings store cannot be created (%1)").arg(cause);
    warn(QStringLiteral("cannot be created (%1); running on defaults, changes will not be saved").arg(cause));
    return false;
}

bool StoreFile::connect(const QByteArray& location, int flags)
{
    disconnect();
    sqlite3* db = nullptr;
    m_openError = sqlite3_open_v2(location.constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (m_openError != SQLITE_OK) {
        m_openSystemError = db ? sqlite3_system_errno(db) : 0;
        sqlite3_close(db);
        return false;
    }
    m_db.reset(db);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    exec("PRAGMA foreign_keys=ON");
    return true;
}

void StoreFile::disconnect()
{
    m_db.reset();
}

StoreSchema::State StoreFile::probe()
{
    StoreSchema schema(m_db.get());
    const StoreSchema::State state = schema.probe();
    m_storedVersion = schema.storedVersion();
    return state;
}

bool StoreFile::openReadOnly()
{
    // Through the shared-memory file of a running writer (or one left behind), without writing it.
    if (connect(uriOf(m_path, "readonly_shm=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) &&
        probe() != StoreSchema::State::Unreadable)
        return true;
    disconnect();
    // Without one, a store whose journal holds nothing is read as it lies.
    const QFileInfo journal(m_path + QStringLiteral("-wal"));
    return (!journal.exists() || journal.size() == 0) &&
           connect(uriOf(m_path, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

QString StoreFile::unwritableCause(int error, int systemError) const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral("its folder %1 cannot be written: %2").arg(folder, SystemError::text(errno));
    if (::access(QFile::encodeName(m_path).constData(), W_OK) != 0)
        return SystemError::text(errno);
    if (systemError != 0)
        return SystemError::text(systemError);
    return QString::fromUtf8(sqlite3_errstr(error));
}

void StoreFile::open()
{
    using State = StoreSchema::State;
    StoreLocks::install();
    const QByteArray file = QFile::encodeName(m_path);
    struct stat info
    {
    };
    if (::stat(file.constData(), &info) == 0) {
        // A FIFO would block the open for ever; a folder or a device is no store either.
        if (!S_ISREG(info.st_mode)) {
            m_problem = QStringLiteral("the settings store is not a regular file");
            warn(QStringLiteral("is not a regular file; ") + kLeftAlone);
            return;
        }
    } else if (!createFile()) {
        return;
    }
    repairJournalModes();

    State state = State::Unreadable;
    QString cause; // why the store cannot be written
    const bool connected = connect(file, SQLITE_OPEN_READWRITE);
    int error = m_openError;
    int systemError = m_openSystemError;
    if (connected) {
        // SQLite falls back to read-only on a write-protected file without saying so.
        m_writable = sqlite3_db_readonly(m_db.get(), "main") == 0;
        state = probe();
        error = sqlite3_extended_errcode(m_db.get());
        systemError = sqlite3_system_errno(m_db.get());
        if (!m_writable)
            cause = unwritableCause(SQLITE_READONLY, 0);
    }
    if (state == State::Unreadable && (!m_db || worthReadingOnly(error))) {
        // A store that cannot be written here (a read-only folder, a full disk) is still read.
        m_writable = false;
        cause = unwritableCause(error, systemError);
        if (!openReadOnly() || (state = probe()) == State::Unreadable) {
            m_problem = QStringLiteral("the settings store cannot be opened (%1)").arg(cause);
            warn(QStringLiteral("cannot be opened (%1); running on defaults, changes will not be saved")
                     .arg(cause));
            disconnect();
            return;
        }
    }
    if (state == State::Empty && m_writable) {
        StoreSchema schema(m_db.get());
        const Result<State> initialized = schema.initialize();
        m_storedVersion = schema.storedVersion();
        if (!initialized) {
            const QString& why = initialized.failure().sentence;
            m_problem = QStringLiteral("the settings store could not be set up (%1)").arg(why);
            warn(QStringLiteral("could not be initialised (%1); changes will not be saved").arg(why));
            m_writable = false;
            disconnect();
            return;
        }
        state = *initialized;
    }

    switch (state) {
    case State::Unreadable:
        m_problem = QStringLiteral("the settings store is not valid (%1)")
                        .arg(QString::fromUtf8(sqlite3_errstr(error)));
        warn(QStringLiteral("is not a valid settings store (%1); ")
                 .arg(QString::fromUtf8(sqlite3_errstr(error))) +
             kLeftAlone);
        break;
    case State::Foreign:
        m_problem = QStringLiteral("the settings store is a database of another program");
        warn(QStringLiteral("is a database of another program; ") + kLeftAlone);
        break;
    case State::Empty:
        m_problem = QStringLiteral("the settings store cannot be written (%1)").arg(cause);
        warn(QStringLiteral("cannot be written (%1) and holds no settings yet; running on defaults, changes "
                            "will not be saved")
                 .arg(cause));
        break;
    case State::Newer:
        m_writable = false;
        m_problem = QStringLiteral("the settings store was written by a newer version of Velmora");
        warn(QStringLiteral("was written by a newer version of Velmora (store version %1, this version knows "
                            "%2); ")
                 .arg(m_storedVersion)
                 .arg(StoreSchema::kVersion) +
             kReadOnly);
        return;
    case State::Ours:
        if (m_writable) {
            exec("PRAGMA journal_mode=WAL");
            exec("PRAGMA synchronous=NORMAL");
            makePrivate();
        } else {
            m_problem = QStringLiteral("the settings store cannot be written (%1)").arg(cause);
            warn(QStringLiteral("cannot be written (%1); ").arg(cause) + kReadOnly);
        }
        return;
    }
    m_writable = false;
    disconnect();
}

void StoreFile::repairJournalModes() const
{
    // SQLite makes the journal files with the mode of the store file, and a session that could only
    // read cannot remove them at its end: after a session on a write-protected store they stay
    // write-protected, and once the store may be written again every write would fail through them.
    // Ours only, and only the owner's write permission is added (0600, the store's own mode).
    for (const char* suffix : {"-wal", "-shm"}) {
        const QByteArray file = QFile::encodeName(m_path + QLatin1String(suffix));
        struct stat info
        {
        };
        if (::lstat(file.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            (info.st_mode & S_IWUSR) == 0)
            ::chmod(file.constData(), 0600);
    }
}

void StoreFile::makePrivate() const
{
    // The store holds passwords: only its owner may read it or its journal files.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        const QByteArray file = QFile::encodeName(m_path + QLatin1String(suffix));
        struct stat info
        {
        };
        if (::stat(file.constData(), &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            (info.st_mode & 07777) != 0600)
            ::chmod(file.constData(), 0600);
    }
}
