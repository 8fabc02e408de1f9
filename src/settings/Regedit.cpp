#include "settings/Regedit.h"

#include "common/AppPaths.h"
#include "settings/StoreLocks.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kBusyTimeoutMs = 5000;

const QChar kSeparator = QLatin1Char('\\');
const QString kLeftAlone =
    QStringLiteral("it is left untouched, the program runs on defaults and changes will not be saved");
const QString kReadOnly = QStringLiteral("its settings are read, changes will not be saved");

// Small RAII guard that resets a cached statement when the call is done with it.
class Reset final
{
public:
    explicit Reset(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~Reset()
    {
        if (m_stmt) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
        }
    }
    Reset(const Reset&) = delete;
    Reset& operator=(const Reset&) = delete;

private:
    sqlite3_stmt* m_stmt;
};

void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(stmt, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
}

QString columnText(sqlite3_stmt* stmt, int column)
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
    const int size = sqlite3_column_bytes(stmt, column);
    return QString::fromUtf8(data, size);
}

// A stored text that carries a NUL reads only up to it, as string values always have.
QString valueText(sqlite3_stmt* stmt, int column)
{
    QString text = columnText(stmt, column);
    const qsizetype nul = text.indexOf(QChar(0));
    if (nul >= 0)
        text.truncate(nul);
    return text;
}

QString lastComponent(const QString& normalized)
{
    const qsizetype at = normalized.lastIndexOf(kSeparator);
    return at < 0 ? normalized : normalized.mid(at + 1);
}

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

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

Regedit::Regedit(const QString& storePath) : m_path(storePath)
{
    open();
}

Regedit::~Regedit()
{
    disconnect();
    repairJournalModes();
}

QString Regedit::fold(const QString& name)
{
    return name.toCaseFolded();
}

QString Regedit::normalizeKey(const QString& keyPath)
{
    const QStringList parts = keyPath.split(kSeparator, Qt::SkipEmptyParts);
    return parts.join(kSeparator);
}

void Regedit::warn(const QString& what) const
{
    std::fprintf(stderr, "velmora: settings store %s: %s\n", qPrintable(m_path), qPrintable(what));
}

QString Regedit::writeProblem() const
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return m_openProblem.isEmpty() ? QStringLiteral("the settings store cannot be written")
                                       : m_openProblem;
    if (m_writeFailure.isEmpty())
        return {};
    return QStringLiteral("the last change could not be saved (%1)").arg(m_writeFailure);
}

bool Regedit::createFile()
{
    // Made by us, so that it is private from the first byte: it holds passwords.
    const QString folder = QFileInfo(m_path).absolutePath();
    // Folders made on the way to the store are private to the user, whatever the umask says.
    const int fd = AppPaths::makePrivateFolder(folder) ? ::open(QFile::encodeName(m_path).constData(),
                                                                O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                                                       : -1;
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
        return true;
    }
    if (errno == EEXIST)
        return true; // made by another process meanwhile
    const QString cause = systemText(errno);
    m_openProblem = QStringLiteral("the settings store cannot be created (%1)").arg(cause);
    warn(QStringLiteral("cannot be created (%1); running on defaults, changes will not be saved").arg(cause));
    return false;
}

bool Regedit::connect(const QByteArray& location, int flags)
{
    disconnect();
    sqlite3* db = nullptr;
    m_openError = sqlite3_open_v2(location.constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (m_openError != SQLITE_OK) {
        m_openSystemError = db ? sqlite3_system_errno(db) : 0;
        sqlite3_close(db);
        return false;
    }
    m_db = db;
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    exec("PRAGMA foreign_keys=ON");
    return true;
}

void Regedit::disconnect()
{
    for (auto& [sql, stmt] : m_statements)
        sqlite3_finalize(stmt);
    m_statements.clear();
    if (m_db)
        sqlite3_close(m_db);
    m_db = nullptr;
}

bool Regedit::openReadOnly()
{
    // Through the shared-memory file of a running writer (or one left behind), without writing it.
    if (connect(uriOf(m_path, "readonly_shm=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) &&
        probeSchema() != SchemaState::Unreadable)
        return true;
    disconnect();
    // Without one, a store whose journal holds nothing is read as it lies.
    const QFileInfo journal(m_path + QStringLiteral("-wal"));
    return (!journal.exists() || journal.size() == 0) &&
           connect(uriOf(m_path, "immutable=1"), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

QString Regedit::unwritableCause(int error, int systemError) const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QStringLiteral("its folder %1 cannot be written: %2").arg(folder, systemText(errno));
    if (::access(QFile::encodeName(m_path).constData(), W_OK) != 0)
        return systemText(errno);
    if (systemError != 0)
        return systemText(systemError);
    return QString::fromUtf8(sqlite3_errstr(error));
}

void Regedit::open()
{
    StoreLocks::install();
    const QByteArray file = QFile::encodeName(m_path);
    struct stat info
    {
    };
    if (::stat(file.constData(), &info) == 0) {
        // A FIFO would block the open for ever; a folder or a device is no store either.
        if (!S_ISREG(info.st_mode)) {
            m_openProblem = QStringLiteral("the settings store is not a regular file");
            warn(QStringLiteral("is not a regular file; ") + kLeftAlone);
            return;
        }
    } else if (!createFile()) {
        return;
    }
    repairJournalModes();

    SchemaState state = SchemaState::Unreadable;
    QString cause; // why the store cannot be written
    const bool connected = connect(file, SQLITE_OPEN_READWRITE);
    int error = m_openError;
    int systemError = m_openSystemError;
    if (connected) {
        // SQLite falls back to read-only on a write-protected file without saying so.
        m_writable = sqlite3_db_readonly(m_db, "main") == 0;
        state = probeSchema();
        error = sqlite3_extended_errcode(m_db);
        systemError = sqlite3_system_errno(m_db);
        if (!m_writable)
            cause = unwritableCause(SQLITE_READONLY, 0);
    }
    if (state == SchemaState::Unreadable && (!m_db || worthReadingOnly(error))) {
        // A store that cannot be written here (a read-only folder, a full disk) is still read.
        m_writable = false;
        cause = unwritableCause(error, systemError);
        if (!openReadOnly() || (state = probeSchema()) == SchemaState::Unreadable) {
            m_openProblem = QStringLiteral("the settings store cannot be opened (%1)").arg(cause);
            warn(QStringLiteral("cannot be opened (%1); running on defaults, changes will not be saved")
                     .arg(cause));
            disconnect();
            return;
        }
    }
    if (state == SchemaState::Empty && m_writable)
        state = initializeSchema();

    switch (state) {
    case SchemaState::Unreadable:
        m_openProblem = QStringLiteral("the settings store is not valid (%1)")
                            .arg(QString::fromUtf8(sqlite3_errstr(error)));
        warn(QStringLiteral("is not a valid settings store (%1); ")
                 .arg(QString::fromUtf8(sqlite3_errstr(error))) +
             kLeftAlone);
        break;
    case SchemaState::Foreign:
        m_openProblem = QStringLiteral("the settings store is a database of another program");
        warn(QStringLiteral("is a database of another program; ") + kLeftAlone);
        break;
    case SchemaState::Failed:
        break;
    case SchemaState::Empty:
        m_openProblem = QStringLiteral("the settings store cannot be written (%1)").arg(cause);
        warn(QStringLiteral("cannot be written (%1) and holds no settings yet; running on defaults, changes "
                            "will not be saved")
                 .arg(cause));
        break;
    case SchemaState::Newer:
        m_writable = false;
        m_openProblem = QStringLiteral("the settings store was written by a newer version of Velmora");
        warn(QStringLiteral("was written by a newer version of Velmora (store version %1, this version knows "
                            "%2); ")
                 .arg(m_storedVersion)
                 .arg(kSchemaVersion) +
             kReadOnly);
        return;
    case SchemaState::Ours:
        if (m_writable) {
            exec("PRAGMA journal_mode=WAL");
            exec("PRAGMA synchronous=NORMAL");
            makePrivate();
        } else {
            m_openProblem = QStringLiteral("the settings store cannot be written (%1)").arg(cause);
            warn(QStringLiteral("cannot be written (%1); ").arg(cause) + kReadOnly);
        }
        return;
    }
    m_writable = false;
    disconnect();
}

bool Regedit::exec(const char* sql)
{
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<QStringList> Regedit::column(const char* sql, int index)
{
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
    QStringList texts;
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
            texts << columnText(stmt, index);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE)
        return std::nullopt;
    return texts;
}

Regedit::SchemaState Regedit::probeSchema()
{
    const std::optional<QStringList> tables = column("SELECT name FROM sqlite_master WHERE type='table'", 0);
    if (!tables)
        return SchemaState::Unreadable;
    if (tables->isEmpty())
        return SchemaState::Empty;
    // Tables of our names are ours only with our columns and a version this program understands.
    const std::pair<const char*, QStringList> layout[] = {
        {"PRAGMA table_info(store_meta)", {"name", "value"}},
        {"PRAGMA table_info(keys)", {"id", "root", "path", "fold", "parent"}},
        {"PRAGMA table_info(vals)", {"key_id", "name", "fold", "type", "data"}}};
    for (const auto& [pragma, wanted] : layout) {
        const std::optional<QStringList> columns = column(pragma, 1);
        if (!columns)
            return SchemaState::Unreadable;
        for (const QString& name : wanted) {
            if (!columns->contains(name))
                return SchemaState::Foreign;
        }
    }
    const std::optional<QStringList> version =
        column("SELECT value FROM store_meta WHERE name='schema_version'", 0);
    if (!version)
        return SchemaState::Unreadable;
    bool number = false;
    m_storedVersion = version->isEmpty() ? 0 : version->first().trimmed().toLongLong(&number);
    if (!number || m_storedVersion < 1)
        return SchemaState::Foreign;
    return m_storedVersion > kSchemaVersion ? SchemaState::Newer : SchemaState::Ours;
}

Regedit::SchemaState Regedit::initializeSchema()
{
    // Another process may be creating the same new store right now: decide again under the lock.
    if (exec("BEGIN IMMEDIATE")) {
        const SchemaState found = probeSchema();
        if (found != SchemaState::Empty) {
            exec("ROLLBACK");
            return found;
        }
        if (exec("CREATE TABLE store_meta(name TEXT PRIMARY KEY, value TEXT NOT NULL)") &&
            exec("CREATE TABLE keys(id INTEGER PRIMARY KEY, root INTEGER NOT NULL, path TEXT NOT NULL,"
                 " fold TEXT NOT NULL, parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
                 " UNIQUE(root, fold))") &&
            exec("CREATE INDEX keys_parent ON keys(parent)") &&
            exec("CREATE TABLE vals(key_id INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
                 " name TEXT NOT NULL, fold TEXT NOT NULL, type INTEGER NOT NULL, data BLOB,"
                 " PRIMARY KEY(key_id, fold)) WITHOUT ROWID") &&
            exec(QStringLiteral("INSERT INTO store_meta VALUES('schema_version', '%1')")
                     .arg(kSchemaVersion)
                     .toUtf8()
                     .constData()) &&
            exec("COMMIT"))
            return SchemaState::Ours;
    }
    const QString cause = QString::fromUtf8(sqlite3_errmsg(m_db));
    exec("ROLLBACK");
    m_openProblem = QStringLiteral("the settings store could not be set up (%1)").arg(cause);
    warn(QStringLiteral("could not be initialised (%1); changes will not be saved").arg(cause));
    return SchemaState::Failed;
}

void Regedit::repairJournalModes() const
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

void Regedit::makePrivate()
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

bool Regedit::writeDone(bool ok, const char* operation)
{
    if (ok && exec("COMMIT")) {
        m_writeFailure.clear();
        return true;
    }
    m_writeFailure = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (const int system = sqlite3_system_errno(m_db); system != 0)
        m_writeFailure += QStringLiteral(": ") + systemText(system);
    exec("ROLLBACK");
    if (!m_reportedWriteFailure) {
        m_reportedWriteFailure = true;
        warn(QStringLiteral("%1 failed (%2); the change is lost")
                 .arg(QLatin1String(operation), m_writeFailure));
    }
    return false;
}

sqlite3_stmt* Regedit::statement(const char* sql)
{
    auto found = m_statements.find(sql);
    if (found != m_statements.end())
        return found->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    m_statements.emplace(sql, stmt);
    return stmt;
}

std::optional<qint64> Regedit::findKey(RegRoot root, const QString& normalized)
{
    sqlite3_stmt* stmt = statement("SELECT id FROM keys WHERE root=?1 AND fold=?2");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalized));
    if (sqlite3_step(stmt) != SQLITE_ROW)
        return std::nullopt;
    return sqlite3_column_int64(stmt, 0);
}

std::optional<qint64> Regedit::ensureKey(RegRoot root, const QString& normalized)
{
    if (auto existing = findKey(root, normalized))
        return existing;
    std::optional<qint64> parent;
    const qsizetype at = normalized.lastIndexOf(kSeparator);
    if (!normalized.isEmpty()) {
        parent = ensureKey(root, at < 0 ? QString() : normalized.left(at));
        if (!parent)
            return std::nullopt;
    }
    sqlite3_stmt* stmt = statement("INSERT INTO keys(root, path, fold, parent) VALUES(?1, ?2, ?3, ?4)");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, normalized);
    bindText(stmt, 3, fold(normalized));
    if (parent)
        sqlite3_bind_int64(stmt, 4, *parent);
    else
        sqlite3_bind_null(stmt, 4);
    if (sqlite3_step(stmt) != SQLITE_DONE)
        return std::nullopt;
    return sqlite3_last_insert_rowid(m_db);
}

bool Regedit::CreateKey(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return false;
    return writeDone(exec("BEGIN IMMEDIATE") && ensureKey(root, normalizeKey(keyPath)), "CreateKey");
}

std::optional<QString> Regedit::GetString(RegRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(m_mutex);
    if (!m_db)
        return std::nullopt;
    sqlite3_stmt* stmt = statement("SELECT v.type, v.data FROM vals v JOIN keys k ON k.id = v.key_id"
                                   " WHERE k.root=?1 AND k.fold=?2 AND v.fold=?3");
    if (!stmt)
        return std::nullopt;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalizeKey(keyPath)));
    bindText(stmt, 3, fold(name));
    if (sqlite3_step(stmt) != SQLITE_ROW || sqlite3_column_int(stmt, 0) != kStringType)
        return std::nullopt;
    return valueText(stmt, 1);
}

bool Regedit::SaveString(RegRoot root, const QString& keyPath, const QString& name, const QString& text)
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return false;
    if (!exec("BEGIN IMMEDIATE"))
        return writeDone(false, "SaveString");
    const std::optional<qint64> key = ensureKey(root, normalizeKey(keyPath));
    sqlite3_stmt* stmt =
        key ? statement("INSERT INTO vals(key_id, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                        " ON CONFLICT(key_id, fold) DO UPDATE SET name=excluded.name,"
                        " type=excluded.type, data=excluded.data")
            : nullptr;
    bool ok = false;
    if (stmt) {
        Reset reset(stmt);
        sqlite3_bind_int64(stmt, 1, *key);
        bindText(stmt, 2, name);
        bindText(stmt, 3, fold(name));
        sqlite3_bind_int(stmt, 4, kStringType);
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_blob(stmt, 5, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    return writeDone(ok, "SaveString");
}

bool Regedit::DeleteKey(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    const QString normalized = normalizeKey(keyPath);
    // The root itself cannot be deleted, as in the registry; a stray empty path must not wipe the store.
    if (!m_writable || normalized.isEmpty())
        return false;
    sqlite3_stmt* values = statement("DELETE FROM vals WHERE key_id=?1");
    sqlite3_stmt* key =
        statement("DELETE FROM keys WHERE id=?1 AND NOT EXISTS (SELECT 1 FROM keys WHERE parent=?1)");
    if (!values || !key || !exec("BEGIN IMMEDIATE"))
        return writeDone(false, "DeleteKey");
    bool ok = true;
    if (const std::optional<qint64> id = findKey(root, normalized)) {
        for (sqlite3_stmt* stmt : {values, key}) {
            Reset reset(stmt);
            sqlite3_bind_int64(stmt, 1, *id);
            ok = ok && sqlite3_step(stmt) == SQLITE_DONE;
        }
    }
    return writeDone(ok, "DeleteKey");
}

bool Regedit::DeleteValue(RegRoot root, const QString& keyPath, const QString& name)
{
    std::lock_guard lock(m_mutex);
    if (!m_writable)
        return false;
    sqlite3_stmt* stmt = statement(
        "DELETE FROM vals WHERE fold=?3 AND key_id=(SELECT id FROM keys WHERE root=?1 AND fold=?2)");
    if (!stmt || !exec("BEGIN IMMEDIATE"))
        return writeDone(false, "DeleteValue");
    bool ok = false;
    {
        Reset reset(stmt);
        sqlite3_bind_int(stmt, 1, static_cast<int>(root));
        bindText(stmt, 2, fold(normalizeKey(keyPath)));
        bindText(stmt, 3, fold(name));
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    return writeDone(ok, "DeleteValue");
}

std::map<QString, QString> Regedit::Values(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    std::map<QString, QString> values;
    if (!m_db)
        return values;
    sqlite3_stmt* stmt = statement("SELECT v.fold, v.data FROM vals v JOIN keys k ON k.id = v.key_id"
                                   " WHERE k.root=?1 AND k.fold=?2 AND v.type=1");
    if (!stmt)
        return values;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    bindText(stmt, 2, fold(normalizeKey(keyPath)));
    while (sqlite3_step(stmt) == SQLITE_ROW)
        values.emplace(columnText(stmt, 0), valueText(stmt, 1));
    return values;
}

std::map<QString, std::map<QString, QString>> Regedit::SubkeyValues(RegRoot root, const QString& keyPath,
                                                                    const std::vector<QString>& names)
{
    std::lock_guard lock(m_mutex);
    std::map<QString, std::map<QString, QString>> result;
    if (!m_db)
        return result;
    const std::optional<qint64> parent = findKey(root, normalizeKey(keyPath));
    if (!parent)
        return result;
    // One indexed query per wanted name rather than a scan of every value below the key.
    sqlite3_stmt* stmt = statement("SELECT k.fold, v.data FROM keys k JOIN vals v ON v.key_id = k.id"
                                   " WHERE k.parent=?1 AND v.fold=?2 AND v.type=1");
    if (!stmt)
        return result;
    for (const QString& name : names) {
        Reset reset(stmt);
        const QString wanted = fold(name);
        sqlite3_bind_int64(stmt, 1, *parent);
        bindText(stmt, 2, wanted);
        while (sqlite3_step(stmt) == SQLITE_ROW)
            result[lastComponent(columnText(stmt, 0))].insert_or_assign(wanted, valueText(stmt, 1));
    }
    return result;
}

std::vector<Regedit::Entry> Regedit::List(RegRoot root, const QString& keyPath)
{
    std::lock_guard lock(m_mutex);
    std::vector<Entry> entries;
    if (!m_db)
        return entries;
    const QString normalized = fold(normalizeKey(keyPath));
    sqlite3_stmt* stmt =
        statement("SELECT k.path, k.fold, v.name, v.data FROM keys k JOIN vals v ON v.key_id = k.id"
                  " WHERE k.root=?1 AND v.type=1 ORDER BY k.fold, v.fold");
    if (!stmt)
        return entries;
    Reset reset(stmt);
    sqlite3_bind_int(stmt, 1, static_cast<int>(root));
    const QString prefix = normalized + kSeparator;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const QString keyFold = columnText(stmt, 1);
        if (!normalized.isEmpty() && keyFold != normalized && !keyFold.startsWith(prefix))
            continue;
        entries.push_back({columnText(stmt, 0), columnText(stmt, 2), valueText(stmt, 3)});
    }
    return entries;
}
